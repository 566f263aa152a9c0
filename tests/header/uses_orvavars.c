/* SPDX-License-Identifier: Apache-2.0 */
/* Every declaration of orvavars.h used once, so that each language mode the
 * header promises compiles it warning-free: C89/C90 with -pedantic, C99, C11,
 * and C++98 to C++20. */
#include "orvavars.h"

typedef int(ORVAVARS_CALL *Read)(int, ORVAVarList *, ORVAVarResult *, int);

int main(void) {
    Read read = ORVAVarsRead;
    ORVAVarList *list = ORVAVarsNewList();
    ORVAVarInfo info;
    ORVAVarsError error;
    ORVAVarResult result;
    ORVAVarsPlanInfo plan;
    ORVAVarsInt64 big = 1;
    unsigned char bytes[4];
    char text[32];
    int area = 0, block = 0;
    int r = ORVAVarsParse("MW10", &info, &error);
    r += ORVAVarsAdd(list, "DB10.DD30:KG", &error) + ORVAVarsCount(list) + ORVAVarsGetInfo(list, 0, &info);
    r += ORVAVarsSetOption(list, ORVAVARS_OPTION_GAP, ORVAVARS_DEFAULT_GAP) + ORVAVarsPlan(list, &plan);
    r += read(0, list, &result, 1) + ORVAVarsWrite(0, list, &result, 1);
    r += ORVAVarsSetBoolean(list, 0, 1, &error) + ORVAVarsSetInteger(list, 0, big << 40, &error);
    r += ORVAVarsSetReal(list, 0, 12.5, &error) + ORVAVarsSetString(list, 0, "AB", 2, &error);
    r += ORVAVarsSetText(list, 0, "1.5", &error) + ORVAVarsValueText(list, 0, text, (int)sizeof text);
    r += ORVAVarsDecode(list, 0, bytes, 4, &result) + ORVAVarsEncoded(list, 0, bytes, 4);
    r += ORVAVarsParseArea("DB5", &area, &block, &error) + ORVAVarsElementAddress('M', 0, 1, 10, 0, text, 32);
    ORVAVarsFreeList(list);
    return (r != 0 && ORVAVarsResultText(r)[0] != '\0' && ORVAVarsAreaName('M')[0] == 'f' &&
            result.kind == ORVAVARS_KIND_REAL && info.element == ORVAVARS_ELEMENT_DOUBLE &&
            info.format == ORVAVARS_FORMAT_KG && ORVAVARS_MAX_VARIABLES > 0)
               ? 0
               : 1;
}
