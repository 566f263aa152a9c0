/* SPDX-License-Identifier: Apache-2.0 */
/* Every declaration of orvanet.h used once, so that each language mode the
 * header promises compiles it warning-free: C89/C90 with -pedantic, C99, C11,
 * and C++98 to C++20. */
#include "orvanet.h"

typedef int(ORVA_CALL *ReadBytes)(int, int, int, int, int, unsigned char *);

int main(void) {
    ReadBytes read = ORVARdB;
    unsigned char bytes[2];
    unsigned short words[2];
    int handle = ORVAOpen("127.0.0.1", "", "", 0, 0, 0);
    int result = read(handle, 'M', 0, 0, 2, bytes);
    result += ORVARdW(handle, 'D', 5, 0, 2, words);
    result += ORVAWrB(handle, 'M', 0, 0, 2, bytes);
    result += ORVAWrW(handle, 'D', 5, 0, 2, words);
    return (ORVAResultName(result)[0] != '\0' && ORVASocketErrorText(ORVAGetSockErr(handle))[0] != 'x' &&
            ORVAClose(handle) == ORVA_OK && ORVA_MAX_HANDLES == 64)
               ? 0
               : 1;
}
