// SPDX-License-Identifier: Apache-2.0
// orvanet for .NET: P/Invoke declarations of orvavars.dll, its structs and constants.
using System;
using System.Runtime.InteropServices;

namespace Orvanet
{
    /// <summary>Why a text was refused (ORVAVarsError of orvavars.h).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarsError
    {
        /// <summary>The error code, an <see cref="OrvaResult"/>.</summary>
        public int code;
        /// <summary>The 1-based position of the character at which it went wrong; 0 when the error is not about a position.</summary>
        public int position;
        /// <summary>The message, which names the position and what was expected; UTF-8, NUL-terminated.</summary>
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 200)] public byte[] message;
    }

    /// <summary>One variable as parsed (ORVAVarInfo of orvavars.h); <see cref="OrvaVariableInfo"/> is its .NET form.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarInfo
    {
        /// <summary>The letter liborvanet takes: 'A' 'E' 'M' 'D' 'X' 'T' 'Z'.</summary>
        public int area;
        /// <summary>0..255 for 'D' and 'X', 0 otherwise.</summary>
        public int block;
        /// <summary>An <see cref="OrvaElement"/>.</summary>
        public int element;
        /// <summary>As written: the byte (A E M), the data word (D X), the cell (T Z).</summary>
        public int address;
        /// <summary>The bit (0..7 of a byte, 0..15 of a data word), or -1.</summary>
        public int bit;
        /// <summary>An <see cref="OrvaFormat"/>.</summary>
        public int format;
        /// <summary>Characters of a KS string, else 0.</summary>
        public int length;
        /// <summary>Its first byte, counted from byte 0 of the area (data word n is bytes 2n, 2n+1).</summary>
        public int byteOffset;
        /// <summary>The bytes it covers (a bit: the one byte that holds it).</summary>
        public int byteCount;
        /// <summary>Its spelling as the tools print it: DB10.DD30:KG, M10.3, T3; UTF-8, NUL-terminated.</summary>
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 32)] public byte[] text;
    }

    /// <summary>One variable's value and result (ORVAVarResult of orvavars.h).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarResult
    {
        /// <summary>Boolean: 0 or 1; Integer: the number; Time: milliseconds.</summary>
        public long integer;
        /// <summary>Real: the number; Integer and Time: the same number as a double.</summary>
        public double real;
        /// <summary>Text: length bytes of Latin-1, the list's until it reads, decodes or is freed.</summary>
        public IntPtr text;
        /// <summary>Text: its bytes.</summary>
        public int length;
        /// <summary>An <see cref="OrvaValueKind"/>.</summary>
        public int kind;
        /// <summary>0, the result of the call that covered it, or an error of orvavars.h (an <see cref="OrvaResult"/>).</summary>
        public int status;
        /// <summary>With status <see cref="OrvaResult.ErrSocket"/> (-7): that call's socket error, else 0.</summary>
        public int socketError;
        /// <summary>Time: 0 (0.01 s), 1 (0.1 s), 2 (1 s) or 3 (10 s).</summary>
        public int timeBase;
        /// <summary>Time: the three digits, 0..999.</summary>
        public int timeDigits;
    }

    /// <summary>What a read of a list costs (ORVAVarsPlanInfo of orvavars.h); <see cref="OrvaPlan"/> is its .NET form.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarsPlanInfo
    {
        /// <summary>The variables of the list.</summary>
        public int variables;
        /// <summary>liborvanet calls.</summary>
        public int calls;
        /// <summary>Fetch telegrams of at most 492 data bytes.</summary>
        public int telegrams;
        /// <summary>Data bytes fetched, the bytes between variables included.</summary>
        public int bytes;
    }

    /// <summary>
    /// P/Invoke declarations of orvavars.dll (liborvavars.so on Linux), the variables library over orvanet.dll:
    /// its functions, structs and constants as orvavars.h has them (a test holds them to the header). The
    /// connection and <see cref="OrvaVariableList"/> wrap them.
    /// </summary>
    /// <remarks>
    /// Texts go in and out as UTF-8 bytes (NUL-terminated on the way in), not as marshalled strings: .NET
    /// Framework's ANSI is the system's code page, not UTF-8. A list is an IntPtr, freed by
    /// <see cref="ORVAVarsFreeList"/>. As orvanet.dll, the exports are __stdcall on 32-bit Windows.
    /// </remarks>
    public static class OrvaVarsNative
    {
        /// <summary>The library's name: orvavars.dll on Windows; on Linux .NET and Mono look for liborvavars.so.</summary>
        public const string Library = "orvavars";

        private const CallingConvention Convention = CallingConvention.StdCall;

        /// <summary>A list holds at most this many variables.</summary>
        public const int MaxVariables = 65535;
        /// <summary>The default of <see cref="OptionGap"/>, in bytes.</summary>
        public const int DefaultGap = 32;
        /// <summary>Option: ranges of one area and block that lie at most this many bytes apart are read by one
        /// call (0..65535; default <see cref="DefaultGap"/>).</summary>
        public const int OptionGap = 1;
        /// <summary>Option: 1, a KT time that is no whole number of its time base is rounded to the nearest; 0
        /// (default), refused with <see cref="OrvaResult.ErrValuePrecision"/>. Applies to values set afterwards.</summary>
        public const int OptionRoundTimes = 2;
        /// <summary>Option: 1, writes that must read the PLC first and write back what they read (a bit, a byte
        /// of a data word, a string that fills part of a data word) are refused with
        /// <see cref="OrvaResult.ErrModifyRefused"/>; 0 (default), they are made.</summary>
        public const int OptionNoModify = 3;

        /// <summary>Parses text (UTF-8, NUL-terminated) into info. Returns 0, or an error code with error
        /// filled.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsParse(byte[] text, out OrvaVarInfo info, out OrvaVarsError error);

        /// <summary>The words of a status or result, an error of orvavars.h or a result of orvanet.h: a UTF-8 text
        /// the library owns.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsResultText(int code);

        /// <summary>Its C name, a UTF-8 text the library owns: "ORVA_ERR_SOCKET", "ORVAVARS_ERR_INVALID_BCD"; ""
        /// for a code neither header lists.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsResultName(int code);

        /// <summary>What a failed call reports, in the one form of the tools and every binding, which put "&lt;what
        /// was asked&gt; failed: " before it; socketError (ORVAGetSockErr right after the call) is named only with
        /// ORVA_ERR_SOCKET. UTF-8 into out (size bytes, NUL-terminated, cut if it does not fit); returns the length
        /// of the whole text.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsFailureText(int result, int socketError, [Out] byte[] @out, int size);

        /// <summary>A new empty list, or IntPtr.Zero when out of memory. Free it with <see
        /// cref="ORVAVarsFreeList"/>.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsNewList();

        /// <summary>Frees a list of <see cref="ORVAVarsNewList"/>.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void ORVAVarsFreeList(IntPtr list);

        /// <summary>Parses text and appends it. Returns its index (0, 1, ...), or an error code with error
        /// filled.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsAdd(IntPtr list, byte[] text, out OrvaVarsError error);

        /// <summary>The number of variables, or <see cref="OrvaResult.ErrArgument"/> for a null list.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsCount(IntPtr list);

        /// <summary>The variable index as parsed into info. Returns 0 or an error code.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsGetInfo(IntPtr list, int index, out OrvaVarInfo info);

        /// <summary>Sets an option (<see cref="OptionGap"/>, <see cref="OptionRoundTimes"/>, <see
        /// cref="OptionNoModify"/>) to value. Returns 0 or <see cref="OrvaResult.ErrArgument"/> (an unknown option,
        /// a value out of range).</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetOption(IntPtr list, int option, int value);

        /// <summary>Plans the list's read (done by the first read after a change anyway) and says what it costs.
        /// Returns 0 or <see cref="OrvaResult.ErrArgument"/>.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsPlan(IntPtr list, out OrvaVarsPlanInfo plan);

        /// <summary>Reads every variable of the list through handle, in the planned calls, and puts each one's
        /// value and status into results[i] (count is ORVAVarsCount). A failed call gives its result to the
        /// variables it covered; after a failure that lost the connection (-6, -7, -99) the remaining calls are not
        /// made (<see cref="OrvaResult.ErrNotTried"/>). Once planned, a read allocates nothing. Returns 0 when
        /// every variable read; else the result of the first call that failed, or, when every call succeeded, the
        /// status of the first variable that did not decode (<see cref="OrvaResult.ErrInvalidBcd"/>).</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsRead(int handle, IntPtr list, [In, Out] OrvaVarResult[] results, int count);

        /// <summary>The value to write. Checks and converts at once, and returns 0 or an error code with error
        /// filled; a refused value leaves the variable without one.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetBoolean(IntPtr list, int index, int value, out OrvaVarsError error);

        /// <summary>The value to write. Checks and converts at once, and returns 0 or an error code with error
        /// filled; a refused value leaves the variable without one.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetInteger(IntPtr list, int index, long value, out OrvaVarsError error);

        /// <summary>The value to write. Checks and converts at once, and returns 0 or an error code with error
        /// filled; a refused value leaves the variable without one.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetReal(IntPtr list, int index, double value, out OrvaVarsError error);

        /// <summary>The value to write: length bytes of Latin-1 characters (KC, KS); a shorter string is padded
        /// with blanks. Returns 0 or an error code with error filled; a refused value leaves the variable without
        /// one.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetString(IntPtr list, int index, byte[] latin1, int length,
                                                   out OrvaVarsError error);

        /// <summary>The value to write as a user types it (UTF-8, NUL-terminated): "12.5", "-3", "0x1F", "true",
        /// "1.5s", "18,52", "ABC". Returns 0 or an error code with error filled; a refused value leaves the
        /// variable without one.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetText(IntPtr list, int index, byte[] text, out OrvaVarsError error);

        /// <summary>Writes every variable of the list with a value, in as few calls as the values allow, and puts
        /// each one's status into results[i]. Bits and parts of data words are read first and written back with the
        /// rest of their byte or word: a change another writer makes in between is overwritten (<see
        /// cref="OptionNoModify"/> refuses such writes). Inputs are refused with <see cref="OrvaResult.ErrArea"/>,
        /// without traffic. Returns 0 when every variable was written; else the result of the first call that
        /// failed, or the status of the first variable that was refused.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsWrite(int handle, IntPtr list, [In, Out] OrvaVarResult[] results, int count);

        /// <summary>The variable's value (the last one read, decoded or set) as the tools print it, UTF-8, into out
        /// (size bytes, NUL-terminated, cut if it does not fit). Returns the length of the whole text, or an error
        /// code (no value: <see cref="OrvaResult.ErrNoValue"/>).</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsValueText(IntPtr list, int index, [Out] byte[] @out, int size);

        /// <summary>Without traffic: the value of the variable's own bytes (byteCount of them, in the PLC's order),
        /// as a read would give it; returns its status.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsDecode(IntPtr list, int index, byte[] bytes, int size, out OrvaVarResult result);

        /// <summary>The bytes the value set would write (byteCount of them; a bit: its byte with only that bit set
        /// or clear). Returns byteCount, or an error code.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsEncoded(IntPtr list, int index, [Out] byte[] bytes, int size);

        /// <summary>An area's spelling (UTF-8, NUL-terminated), in either case: A or O, E or I, M, T, Z or C,
        /// DB&lt;n&gt; or D&lt;n&gt;, DX&lt;n&gt; or X&lt;n&gt; (n 0..255, also after a blank, as DB 5). area gets
        /// the letter liborvanet takes, block the number or -1 when none was spelled. Returns 0 or an error code
        /// with error filled.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsParseArea(byte[] text, out int area, out int block, out OrvaVarsError error);

        /// <summary>The area's name in words, a UTF-8 text the library owns: "flags (M)", "data blocks (DB)"; "this
        /// area" for a letter no area has.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsAreaName(int area);

        /// <summary>The address of element index of a transfer of bytes (words 0) or words (words 1) from start, as
        /// the tools print it: "MB10", "MW12", "DB 5 DW3", "T 7"; UTF-8 into out (size bytes, NUL-terminated, cut
        /// if it does not fit). Returns the length of the whole text, or <see
        /// cref="OrvaResult.ErrArgument"/>.</summary>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsElementAddress(int area, int block, int words, int start, int index,
                                                        [Out] byte[] @out, int size);
    }
}
