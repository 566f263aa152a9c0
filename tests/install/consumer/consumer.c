/* SPDX-License-Identifier: Apache-2.0 */
/* A program outside the orvanet tree, built against an installed copy: writes
 * flags and a data block, reads them back and says "consumer: ok". */
#include <orvanet.h>
#include <stdio.h>
#include <string.h>

static int check(const char* what, int result, int handle) {
    if (result == ORVA_OK) return 1;
    fprintf(stderr, "consumer: %s failed: %s (%d), socket error %d\n", what, ORVAResultName(result), result,
            ORVAGetSockErr(handle));
    return 0;
}

int main(int argc, char** argv) {
    const unsigned char bytes[4] = {0xC0, 0x01, 0x7F, 0x80};
    const unsigned short words[3] = {0x1234, 0xFFFF, 42};
    unsigned char bytesBack[4] = {0};
    unsigned short wordsBack[3] = {0};
    int handle, ok;

    if (argc != 2) {
        fprintf(stderr, "usage: consumer ADDRESS\n");
        return 64;
    }
    handle = ORVAOpen(argv[1], "", "", 0, 0, 0);
    if (handle < 0) {
        fprintf(stderr, "consumer: ORVAOpen failed: %s (%d)\n", ORVAResultName(handle), handle);
        return 1;
    }
    ok = check("ORVAWrB M 200", ORVAWrB(handle, 'M', 0, 200, 4, bytes), handle) &&
         check("ORVARdB M 200", ORVARdB(handle, 'M', 0, 200, 4, bytesBack), handle) &&
         check("ORVAWrW DB3", ORVAWrW(handle, 'D', 3, 10, 3, words), handle) &&
         check("ORVARdW DB3", ORVARdW(handle, 'D', 3, 10, 3, wordsBack), handle);
    ORVAClose(handle);
    if (!ok) return 1;
    if (memcmp(bytes, bytesBack, sizeof bytes) != 0 || memcmp(words, wordsBack, sizeof words) != 0) {
        fprintf(stderr, "consumer: values read back differ from those written\n");
        return 1;
    }
    printf("consumer: ok\n");
    return 0;
}
