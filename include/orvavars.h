/* SPDX-License-Identifier: Apache-2.0 */
/*
 * orvavars - typed variables of S5 PLCs in the PLC's own notation, read and
 * written in lists through liborvanet.
 *
 * A variable is a text such as "DB10.DD30:KG", "MW20:KF", "M20.3" or "T3"
 * (docs/variables.md has the grammar and the formats). A list of them is
 * planned once and read with the fewest library calls; each variable decodes
 * its own value and carries its own result.
 *
 * Every function returns at once except ORVAVarsRead and ORVAVarsWrite, which
 * make the liborvanet calls of a list (each bounded by the handle's time-outs).
 * Nothing is thrown; no pointer to caller memory is kept after a call returns.
 *
 * Threads: a list is used by one thread at a time (its values and buffers are
 * the list's own); different lists may be used on different threads at once,
 * also on one handle, whose calls liborvanet serialises. The functions that
 * take no list may be called from any thread.
 */
#ifndef ORVAVARS_H
#define ORVAVARS_H

#if defined(_WIN32)
#  define ORVAVARS_CALL __stdcall
#  if defined(ORVAVARS_BUILDING) || defined(ORVAVARS_STATIC)
/* The .def file names the exports, as for orvanet.dll. */
#    define ORVAVARS_API
#  else
#    define ORVAVARS_API __declspec(dllimport)
#  endif
#else
#  define ORVAVARS_CALL
#  if defined(__GNUC__)
#    define ORVAVARS_API __attribute__((visibility("default")))
#  else
#    define ORVAVARS_API
#  endif
#endif

/* A signed 64-bit integer in every language mode (C89 and C++98 have no long
 * long of their own; GCC and clang accept it there as an extension). */
#if defined(_MSC_VER)
typedef __int64 ORVAVarsInt64;
#elif (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L) || (defined(__cplusplus) && __cplusplus >= 201103L)
typedef long long ORVAVarsInt64;
#elif defined(__GNUC__)
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wlong-long"
__extension__ typedef long long ORVAVarsInt64;
#  pragma GCC diagnostic pop
#else
typedef long long ORVAVarsInt64;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the functions and of each variable. A variable's status is 0,
 * an ORVA_* result of orvanet.h (the liborvanet call that covered it), or one
 * of these; ORVAVarsResultText gives the words of either. */
enum {
    ORVAVARS_OK = 0,
    /* the text of a variable */
    ORVAVARS_ERR_SYNTAX = -101,       /* not a variable: something else was expected at the position */
    ORVAVARS_ERR_UNKNOWN_AREA = -102, /* no area is spelled so */
    ORVAVARS_ERR_UNKNOWN_FORMAT = -103,
    ORVAVARS_ERR_FORMAT_UNIT = -104,  /* the format does not apply to that unit (KG on a word) */
    ORVAVARS_ERR_OUT_OF_RANGE = -105, /* an address, bit, block or length out of range, or past address 65535 */
    /* values */
    ORVAVARS_ERR_VALUE_TEXT = -110,      /* a value's text does not read as a value of the format */
    ORVAVARS_ERR_VALUE_RANGE = -111,     /* the value does not fit the format (KF 40000, KG 1e40, a long string) */
    ORVAVARS_ERR_VALUE_PRECISION = -112, /* a KT time not a whole number of its time base, and rounding not allowed */
    ORVAVARS_ERR_VALUE_KIND = -113,      /* a value of the wrong kind for the format (a real for KS) */
    ORVAVARS_ERR_NOT_FINITE = -114,      /* NaN or infinity */
    ORVAVARS_ERR_INVALID_BCD = -120,     /* read: a KT or KZ digit above 9; the variable has no value */
    /* lists */
    ORVAVARS_ERR_NO_VALUE = -130,       /* write: no value was set for the variable; it was not written */
    ORVAVARS_ERR_MODIFY_REFUSED = -131, /* write: a bit or part of a word, refused by ORVAVARS_OPTION_NO_MODIFY */
    ORVAVARS_ERR_NOT_TRIED = -132,      /* an earlier call of the list lost the connection (-6, -7, -99): not tried */
    ORVAVARS_ERR_ARGUMENT = -140,       /* a null pointer, an index outside the list, a count that is not the list's */
    ORVAVARS_ERR_NO_MEMORY = -141,
    ORVAVARS_ERR_TOO_MANY = -142 /* a list holds at most ORVAVARS_MAX_VARIABLES */
};

enum { ORVAVARS_MAX_VARIABLES = 65535 };

/* What a variable addresses. */
enum {
    ORVAVARS_ELEMENT_BIT = 1,       /* M10.3, DB5.D3.15 */
    ORVAVARS_ELEMENT_BYTE = 2,      /* MB10 */
    ORVAVARS_ELEMENT_WORD = 3,      /* MW10, DB5.DW3, T3, Z5 */
    ORVAVARS_ELEMENT_DOUBLE = 4,    /* MD10, DB5.DD20 */
    ORVAVARS_ELEMENT_LEFT_BYTE = 5, /* DB5.DL3: the high byte of data word 3 */
    ORVAVARS_ELEMENT_RIGHT_BYTE = 6 /* DB5.DR3: its low byte */
};

/* The data formats. BOOLEAN and UNSIGNED are the defaults, which have no
 * spelling: a bit is true or false, anything else an unsigned number. */
enum {
    ORVAVARS_FORMAT_BOOLEAN = 1,
    ORVAVARS_FORMAT_UNSIGNED = 2,
    ORVAVARS_FORMAT_KF = 3,  /* signed, two's complement of the unit's width (8, 16 or 32 bits) */
    ORVAVARS_FORMAT_KH = 4,  /* hex, 2 or 4 digits */
    ORVAVARS_FORMAT_KM = 5,  /* bit pattern */
    ORVAVARS_FORMAT_KY = 6,  /* two bytes of a word, "18,52" */
    ORVAVARS_FORMAT_KC = 7,  /* the characters of a byte or word */
    ORVAVARS_FORMAT_KT = 8,  /* time value: three BCD digits and a time base */
    ORVAVARS_FORMAT_KZ = 9,  /* count value: three BCD digits */
    ORVAVARS_FORMAT_KG = 10, /* S5 floating point, double words */
    ORVAVARS_FORMAT_DH = 11, /* 32-bit hex */
    ORVAVARS_FORMAT_KS = 12  /* a string of length characters from the variable's first byte (KS n, KC n) */
};

/* The kind of a value. */
enum {
    ORVAVARS_KIND_NONE = 0,    /* no value: not read, not set, or its status is not 0 */
    ORVAVARS_KIND_BOOLEAN = 1, /* integer 0 or 1 */
    ORVAVARS_KIND_INTEGER = 2, /* integer (and real the same number) */
    ORVAVARS_KIND_REAL = 3,    /* real */
    ORVAVARS_KIND_TEXT = 4,    /* text, length bytes of Latin-1 */
    ORVAVARS_KIND_TIME = 5     /* integer milliseconds; timeBase and timeDigits as stored */
};

/* Settings of a list (ORVAVarsSetOption). */
enum {
    /* Ranges of one area and block that lie at most this many bytes apart are
     * read by one call (0..65535; default ORVAVARS_DEFAULT_GAP). */
    ORVAVARS_OPTION_GAP = 1,
    /* 1: a KT time that is no whole number of its time base is rounded to the
     * nearest; 0 (default): refused with ORVAVARS_ERR_VALUE_PRECISION. Applies to
     * values set afterwards. */
    ORVAVARS_OPTION_ROUND_TIMES = 2,
    /* 1: writes that must read the PLC first and write back what they read (a
     * bit, a byte of a data word, a string that fills part of a data word) are
     * refused with ORVAVARS_ERR_MODIFY_REFUSED; 0 (default): they are made. */
    ORVAVARS_OPTION_NO_MODIFY = 3
};

enum { ORVAVARS_DEFAULT_GAP = 32 };

/* Why a text was refused: the code, the 1-based position of the character at
 * which it went wrong (0 when the error is not about a position), and the
 * message, which names the position and what was expected:
 * unknown format "KQ" at 6; one of KF KH KM KY KC KT KZ KG DH KS */
typedef struct ORVAVarsError {
    int code;
    int position;
    char message[200]; /* UTF-8, NUL-terminated */
} ORVAVarsError;

/* One variable as parsed. */
typedef struct ORVAVarInfo {
    int area;       /* the letter liborvanet takes: 'A' 'E' 'M' 'D' 'X' 'T' 'Z' */
    int block;      /* 0..255 for 'D' and 'X', 0 otherwise */
    int element;    /* ORVAVARS_ELEMENT_* */
    int address;    /* as written: the byte (A E M), the data word (D X), the cell (T Z) */
    int bit;        /* the bit (0..7 of a byte, 0..15 of a data word), or -1 */
    int format;     /* ORVAVARS_FORMAT_* */
    int length;     /* characters of a KS string, else 0 */
    int byteOffset; /* its first byte, counted from byte 0 of the area (data word n is bytes 2n, 2n+1) */
    int byteCount;  /* the bytes it covers (a bit: the one byte that holds it) */
    char text[32];  /* its spelling as the tools print it: DB10.DD30:KG, M10.3, T3 */
} ORVAVarInfo;

/* One variable's value and result. */
typedef struct ORVAVarResult {
    ORVAVarsInt64 integer; /* BOOLEAN 0 or 1; INTEGER the number; TIME milliseconds */
    double real;           /* REAL the number; INTEGER and TIME the same number as a double */
    const char *text;      /* TEXT: length bytes of Latin-1 and a NUL; the list's, valid until it reads,
                              decodes or is freed */
    int length;            /* TEXT: its bytes */
    int kind;              /* ORVAVARS_KIND_* */
    int status;            /* 0, the ORVA_* result of the call that covered it, or an ORVAVARS_ERR_* */
    int socketError;       /* status ORVA_ERR_SOCKET (-7): that call's socket error, else 0 */
    int timeBase;          /* TIME: 0 (0.01 s), 1 (0.1 s), 2 (1 s) or 3 (10 s) */
    int timeDigits;        /* TIME: the three digits, 0..999 */
} ORVAVarResult;

/* What a read of a list costs. */
typedef struct ORVAVarsPlanInfo {
    int variables;
    int calls;     /* liborvanet calls */
    int telegrams; /* fetch telegrams of at most 492 data bytes */
    int bytes;     /* data bytes fetched, the bytes between variables included */
} ORVAVarsPlanInfo;

typedef struct ORVAVarList ORVAVarList;

/* --- One variable, no list ------------------------------------------------ */

/* Parses text into info. Returns 0, or an error code with error filled (error may be NULL). */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsParse(const char *text, ORVAVarInfo *info, ORVAVarsError *error);

/* The words of a status or result: an ORVAVARS_ERR_* or an ORVA_* code of orvanet.h. */
ORVAVARS_API const char *ORVAVARS_CALL ORVAVarsResultText(int code);
/* Its C name: "ORVA_ERR_SOCKET", "ORVAVARS_ERR_INVALID_BCD"; "" for a code neither header lists. */
ORVAVARS_API const char *ORVAVARS_CALL ORVAVarsResultName(int code);
/* What a failed call reports, in the one form of the tools and every binding,
 * which put "<what was asked> failed: " before it:
 *   socket error 10061 (WSAECONNREFUSED): connection refused: nothing listens on
 *   port 102 at that address (ORVA_ERR_SOCKET, result -7)
 *   the connection was dropped: ... (ORVA_ERR_DROPPED, result -1)
 * socketError (ORVAGetSockErr right after the call) is named only with
 * ORVA_ERR_SOCKET. UTF-8 into out (size bytes, NUL-terminated, cut if it does
 * not fit); returns the length of the whole text. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsFailureText(int result, int socketError, char *out, int size);

/* --- Lists ----------------------------------------------------------------- */

/* A new empty list, or NULL when out of memory. Free it with ORVAVarsFreeList. */
ORVAVARS_API ORVAVarList *ORVAVARS_CALL ORVAVarsNewList(void);
ORVAVARS_API void ORVAVARS_CALL ORVAVarsFreeList(ORVAVarList *list);

/* Parses text and appends it. Returns its index (0, 1, ...), or an error code with error filled. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsAdd(ORVAVarList *list, const char *text, ORVAVarsError *error);
/* The number of variables, or ORVAVARS_ERR_ARGUMENT for a null list. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsCount(const ORVAVarList *list);
ORVAVARS_API int ORVAVARS_CALL ORVAVarsGetInfo(const ORVAVarList *list, int index, ORVAVarInfo *info);
/* ORVAVARS_OPTION_* to value. Returns 0 or ORVAVARS_ERR_ARGUMENT (an unknown option, a value out of range). */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetOption(ORVAVarList *list, int option, int value);

/* Plans the list's read (done by the first read after a change anyway) and says
 * what it costs; plan may be NULL. Returns 0 or ORVAVARS_ERR_ARGUMENT. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsPlan(ORVAVarList *list, ORVAVarsPlanInfo *plan);

/* Reads every variable of the list through handle, in the planned calls, and
 * puts each one's value and status into results[i] (results may be NULL with
 * count 0; otherwise count is ORVAVarsCount). A failed call gives its result to
 * the variables it covered; after a failure that lost the connection (-6, -7,
 * -99) the remaining calls are not made (ORVAVARS_ERR_NOT_TRIED). Once planned,
 * a read allocates nothing.
 * Returns 0 when every variable read; else the result of the first call that
 * failed, or, when every call succeeded, the status of the first variable that
 * did not decode (ORVAVARS_ERR_INVALID_BCD). */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsRead(int handle, ORVAVarList *list, ORVAVarResult *results, int count);

/* The value to write. Each checks and converts at once, and returns 0 or an
 * error code with error filled (error may be NULL); a refused value leaves the
 * variable without one. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetBoolean(ORVAVarList *list, int index, int value, ORVAVarsError *error);
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetInteger(ORVAVarList *list, int index, ORVAVarsInt64 value,
                                                  ORVAVarsError *error);
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetReal(ORVAVarList *list, int index, double value, ORVAVarsError *error);
/* length bytes of Latin-1 characters (KC, KS); a shorter string is padded with blanks. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetString(ORVAVarList *list, int index, const char *latin1, int length,
                                                 ORVAVarsError *error);
/* A value as a user types it (UTF-8): "12.5", "-3", "0x1F", "true", "1.5s", "18,52", "ABC". */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsSetText(ORVAVarList *list, int index, const char *text, ORVAVarsError *error);

/* Writes every variable of the list with a value, in as few calls as the
 * values allow, and puts each one's status into results[i] (results may be
 * NULL with count 0). Bits and parts of data words are read first and written
 * back with the rest of their byte or word: a change another writer makes in
 * between is overwritten (ORVAVARS_OPTION_NO_MODIFY refuses such writes).
 * Inputs are refused with ORVA_ERR_AREA, without traffic.
 * Returns 0 when every variable was written; else the result of the first call
 * that failed, or the status of the first variable that was refused. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsWrite(int handle, ORVAVarList *list, ORVAVarResult *results, int count);

/* The variable's value (the last one read, decoded or set) as the tools print
 * it, UTF-8, into out (size bytes, NUL-terminated, cut if it does not fit).
 * Returns the length of the whole text, or an error code (no value:
 * ORVAVARS_ERR_NO_VALUE). */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsValueText(const ORVAVarList *list, int index, char *out, int size);

/* Without traffic: the value of the variable's own bytes (byteCount of them, in
 * the PLC's order), as a read would give it; returns its status. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsDecode(ORVAVarList *list, int index, const unsigned char *bytes, int size,
                                              ORVAVarResult *result);
/* The bytes the value set would write (byteCount of them; a bit: its byte with
 * only that bit set or clear). Returns byteCount, or an error code. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsEncoded(const ORVAVarList *list, int index, unsigned char *bytes, int size);

/* --- The notation of areas and addresses, as every tool writes it --------- */

/* An area's spelling, in either case: A or O, E or I, M, T, Z or C, DB<n> or
 * D<n>, DX<n> or X<n> (n 0..255, also after a blank, as DB 5). *area gets the
 * letter liborvanet takes, *block the number or -1 when none was spelled.
 * Returns 0 or an error code with error filled. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsParseArea(const char *text, int *area, int *block, ORVAVarsError *error);

/* The area's name in words: "flags (M)", "data blocks (DB)"; "this area" for a letter no area has. */
ORVAVARS_API const char *ORVAVARS_CALL ORVAVarsAreaName(int area);

/* The address of element index of a transfer of bytes (words 0) or words
 * (words 1) from start, as the tools print it: "MB10", "MW12", "DB 5 DW3",
 * "T 7". Returns the length of the whole text, or ORVAVARS_ERR_ARGUMENT. */
ORVAVARS_API int ORVAVARS_CALL ORVAVarsElementAddress(int area, int block, int words, int start, int index, char *out,
                                                      int size);

#ifdef __cplusplus
}
#endif

#endif /* ORVAVARS_H */
