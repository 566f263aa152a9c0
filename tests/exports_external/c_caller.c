/* SPDX-License-Identifier: Apache-2.0 */
/* orvanet.h from C: the declarations, the calling convention and the header's
 * helper compile as C and link against the library. Exit code 0 when every
 * result is the expected one. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvanet.h"

static int failures = 0;

static void expect(const char* what, int got, int wanted) {
    if (got != wanted) {
        printf("%s: %d (%s), expected %d\n", what, got, ORVAResultName(got), wanted);
        ++failures;
    }
}

int main(void) {
    /* The adapter listens at the address of the control channel. */
    const char* control = getenv("ORVASIM_CONTROL");
    char address[64] = "127.0.0.50";
    unsigned char bytes[4] = {1, 2, 3, 4};
    unsigned char back[4] = {0};
    unsigned short words[2] = {0x1234, 0x5678};
    unsigned short wordsBack[2] = {0};
    int h;

    if (control != NULL && strchr(control, ':') != NULL && strlen(control) < sizeof address) {
        strcpy(address, control);
        *strrchr(address, ':') = '\0';
    }
    h = ORVAOpen(address, NULL, NULL, 0, 0, 0);
    if (h < 0 || h >= ORVA_MAX_HANDLES) {
        printf("ORVAOpen: %d\n", h);
        return 1;
    }
    expect("ORVAWrB", ORVAWrB(h, 'M', 0, 200, 4, bytes), ORVA_OK);
    expect("ORVARdB", ORVARdB(h, 'M', 0, 200, 4, back), ORVA_OK);
    expect("bytes read back", memcmp(bytes, back, sizeof bytes), 0);
    expect("ORVAWrW", ORVAWrW(h, 'D', 3, 0, 2, words), ORVA_OK);
    expect("ORVARdW", ORVARdW(h, 'D', 3, 0, 2, wordsBack), ORVA_OK);
    expect("words read back", wordsBack[0] == 0x1234 && wordsBack[1] == 0x5678, 1);
    expect("ORVAGetSockErr", ORVAGetSockErr(h), 0);
    expect("ORVARdB area", ORVARdB(h, 'D', 0, 0, 1, back), ORVA_ERR_AREA);
    expect("ORVAClose", ORVAClose(h), ORVA_OK);
    expect("ORVAClose again", ORVAClose(h), ORVA_ERR_HANDLE);
    printf("%s\n", failures == 0 ? "C caller: all results as expected" : "C caller: failures");
    return failures == 0 ? 0 : 1;
}
