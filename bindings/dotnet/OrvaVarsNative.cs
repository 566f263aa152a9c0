// SPDX-License-Identifier: Apache-2.0
// orvanet for .NET: P/Invoke declarations of orvavars.dll (liborvavars.so on
// Linux), the variables library over orvanet.dll: its functions, structs and
// constants as orvavars.h has them (a test holds them to the header). The
// connection and OrvaVariableList wrap them.
//
// Texts go in and out as UTF-8 bytes (NUL-terminated on the way in), not as
// marshalled strings: .NET Framework's ANSI is the system's code page, not UTF-8.
// A list is an IntPtr, freed by ORVAVarsFreeList. As orvanet.dll, the exports
// are __stdcall on 32-bit Windows.
using System;
using System.Runtime.InteropServices;

namespace Orvanet
{
    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarsError
    {
        public int code;
        public int position;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 200)] public byte[] message;  // UTF-8, NUL-terminated
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarInfo
    {
        public int area;
        public int block;
        public int element;
        public int address;
        public int bit;
        public int format;
        public int length;
        public int byteOffset;
        public int byteCount;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 32)] public byte[] text;
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarResult
    {
        public long integer;
        public double real;
        public IntPtr text;  // length bytes of Latin-1, the list's until it reads, decodes or is freed
        public int length;
        public int kind;
        public int status;
        public int socketError;
        public int timeBase;
        public int timeDigits;
    }

    [StructLayout(LayoutKind.Sequential)]
    public struct OrvaVarsPlanInfo
    {
        public int variables;
        public int calls;
        public int telegrams;
        public int bytes;
    }

    public static class OrvaVarsNative
    {
        // orvavars.dll on Windows; on Linux .NET and Mono look for liborvavars.so.
        public const string Library = "orvavars";

        private const CallingConvention Convention = CallingConvention.StdCall;

        public const int MaxVariables = 65535;
        public const int DefaultGap = 32;
        public const int OptionGap = 1;
        public const int OptionRoundTimes = 2;
        public const int OptionNoModify = 3;

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsParse(byte[] text, out OrvaVarInfo info, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsResultText(int code);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsResultName(int code);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsFailureText(int result, int socketError, [Out] byte[] @out, int size);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsNewList();

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void ORVAVarsFreeList(IntPtr list);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsAdd(IntPtr list, byte[] text, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsCount(IntPtr list);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsGetInfo(IntPtr list, int index, out OrvaVarInfo info);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetOption(IntPtr list, int option, int value);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsPlan(IntPtr list, out OrvaVarsPlanInfo plan);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsRead(int handle, IntPtr list, [In, Out] OrvaVarResult[] results, int count);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetBoolean(IntPtr list, int index, int value, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetInteger(IntPtr list, int index, long value, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetReal(IntPtr list, int index, double value, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetString(IntPtr list, int index, byte[] latin1, int length,
                                                   out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsSetText(IntPtr list, int index, byte[] text, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsWrite(int handle, IntPtr list, [In, Out] OrvaVarResult[] results, int count);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsValueText(IntPtr list, int index, [Out] byte[] @out, int size);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsDecode(IntPtr list, int index, byte[] bytes, int size, out OrvaVarResult result);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsEncoded(IntPtr list, int index, [Out] byte[] bytes, int size);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsParseArea(byte[] text, out int area, out int block, out OrvaVarsError error);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern IntPtr ORVAVarsAreaName(int area);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAVarsElementAddress(int area, int block, int words, int start, int index,
                                                        [Out] byte[] @out, int size);
    }
}
