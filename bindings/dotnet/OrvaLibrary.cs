// SPDX-License-Identifier: Apache-2.0
// What the binding asks liborvavars in words: the text of a failed call, the
// names of results, the names of areas and the addresses of elements, all in
// the library's own words; texts to and from its UTF-8; and the loading of
// both libraries, liborvanet first, with one message when either is missing.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Orvanet
{
    internal static class OrvaLibrary
    {
        private static readonly object LoadGate = new object();
        private static bool loaded;

        // Loads orvanet, then orvavars (which needs it), once per process.
        public static void EnsureLoaded()
        {
            lock (LoadGate)
            {
                if (loaded) return;
                try
                {
                    OrvaNative.ORVAGetSockErr(-1);  // no handle: only the library is loaded
                }
                catch (Exception e)
                {
                    if (IsLoaderError(e)) throw new OrvaLibraryNotFoundException(false, e);
                    throw;
                }
                try
                {
                    OrvaVarsNative.ORVAVarsResultName(0);
                }
                catch (Exception e)
                {
                    if (IsLoaderError(e)) throw new OrvaLibraryNotFoundException(true, e);
                    throw;
                }
                loaded = true;
            }
        }

        // Missing, of the other bitness, or a library of that name without the functions.
        private static bool IsLoaderError(Exception e)
        {
            return e is DllNotFoundException || e is BadImageFormatException || e is EntryPointNotFoundException;
        }

        // text as the NUL-terminated UTF-8 the library reads; a NUL inside would end it early.
        public static byte[] Utf8z(string text, string what)
        {
            if (text.IndexOf('\0') >= 0) throw new ArgumentException(what + " '" + text.Replace("\0", "\\x00") + "' contains a NUL character");
            byte[] bytes = Encoding.UTF8.GetBytes(text);
            Array.Resize(ref bytes, bytes.Length + 1);
            return bytes;
        }

        // The UTF-8 text in bytes, up to its NUL.
        public static string FromUtf8(byte[] bytes)
        {
            if (bytes == null) return "";
            int n = Array.IndexOf(bytes, (byte)0);
            return Encoding.UTF8.GetString(bytes, 0, n < 0 ? bytes.Length : n);
        }

        // A NUL-terminated UTF-8 text the library owns.
        public static string FromUtf8(IntPtr text)
        {
            if (text == IntPtr.Zero) return "";
            int n = 0;
            while (Marshal.ReadByte(text, n) != 0) n++;
            var bytes = new byte[n];
            Marshal.Copy(text, bytes, 0, n);
            return Encoding.UTF8.GetString(bytes);
        }

        // length Latin-1 bytes at text: one character each.
        public static string FromLatin1(IntPtr text, int length)
        {
            if (text == IntPtr.Zero || length <= 0) return "";
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return FromLatin1(bytes);
        }

        public static string FromLatin1(byte[] bytes)
        {
            var chars = new char[bytes.Length];
            for (int i = 0; i < bytes.Length; i++) chars[i] = (char)bytes[i];
            return new string(chars);
        }

        // The characters of text as Latin-1 bytes, or null when one lies beyond it.
        public static byte[] ToLatin1(string text)
        {
            var bytes = new byte[text.Length];
            for (int i = 0; i < text.Length; i++)
            {
                if (text[i] > 0xFF) return null;
                bytes[i] = (byte)text[i];
            }
            return bytes;
        }

        // A text a function of orvavars.h writes into a caller's buffer: the function
        // takes (out, size) and returns the length of the whole text.
        public static string Written(Func<byte[], int, int> function)
        {
            var buffer = new byte[256];
            for (;;)
            {
                int length = function(buffer, buffer.Length);
                if (length < 0) return "";
                if (length < buffer.Length) return Encoding.UTF8.GetString(buffer, 0, length);
                buffer = new byte[length + 1];
            }
        }

        // ORVAVarsFailureText: the result in words, its C name and code, the socket error leading for -7.
        public static string FailureText(int result, int socketError)
        {
            return Written((buffer, size) => OrvaVarsNative.ORVAVarsFailureText(result, socketError, buffer, size));
        }

        // ORVAVarsResultName: "ORVA_ERR_SOCKET"; "" for a code neither header lists.
        public static string ResultName(int code)
        {
            return FromUtf8(OrvaVarsNative.ORVAVarsResultName(code));
        }

        // ORVAVarsAreaName: "flags (M)".
        public static string AreaName(char letter)
        {
            return FromUtf8(OrvaVarsNative.ORVAVarsAreaName(letter));
        }

        // ORVAVarsElementAddress: "MB10", "MW12", "DB 5 DW3", "T 7".
        public static string ElementAddress(char letter, int block, bool words, int start, int index)
        {
            return Written((buffer, size) => OrvaVarsNative.ORVAVarsElementAddress(letter, block, words ? 1 : 0, start,
                                                                                  index, buffer, size));
        }
    }
}
