// SPDX-License-Identifier: Apache-2.0
// The result codes of orvanet.h and orvavars.h, the socket error numbers of
// orvanet.h with their names and texts, and the exceptions that carry them.
using System;
using System.Collections.Generic;
using System.Net.Sockets;

namespace Orvanet
{
    /// <summary>
    /// The result codes of orvanet.h and orvavars.h: ORVA_OK is <see cref="Ok"/>, ORVA_ERR_PLC is
    /// <see cref="ErrPlc"/>, ORVA_ERR_NO_FREE_HANDLE is <see cref="ErrNoFreeHandle"/>; those of orvavars.h the
    /// same way, ORVAVARS_ERR_INVALID_BCD is <see cref="ErrInvalidBcd"/>.
    /// </summary>
    public enum OrvaResult
    {
        /// <summary>Success (ORVA_OK).</summary>
        Ok = 0,
        // orvanet.h
        /// <summary>The PLC refused: data block missing, or the range runs past the end of the area.</summary>
        ErrPlc = 2,
        /// <summary>The connection was dropped: closed, reset without a socket error, or a reply that did not fit.</summary>
        ErrDropped = -1,
        /// <summary>All 64 handles are in use.</summary>
        ErrNoFreeHandle = -2,
        /// <summary>Failed with no recorded cause: out of memory, a null buffer, nothing to transfer, a range past
        /// address 65535, or a data block number past 255.</summary>
        ErrFailed = -5,
        /// <summary>Setting up the transport connection failed: check the TSAPs and the adapter's configuration.</summary>
        ErrConnect = -6,
        /// <summary>Socket error: <see cref="OrvaNative.ORVAGetSockErr"/> tells which.</summary>
        ErrSocket = -7,
        /// <summary>Area not supported by this function.</summary>
        ErrArea = -10,
        /// <summary>Invalid handle: outside 0..63 or not open.</summary>
        ErrHandle = -99,
        // orvavars.h: the text of a variable, values, lists
        /// <summary>Not a variable: something else was expected at the position.</summary>
        ErrSyntax = -101,
        /// <summary>Unknown area: no area is spelled so.</summary>
        ErrUnknownArea = -102,
        /// <summary>Unknown data format.</summary>
        ErrUnknownFormat = -103,
        /// <summary>The data format does not apply to that unit (KG on a word).</summary>
        ErrFormatUnit = -104,
        /// <summary>An address, bit, block or length out of range, or past address 65535.</summary>
        ErrOutOfRange = -105,
        /// <summary>A value's text does not read as a value of the format.</summary>
        ErrValueText = -110,
        /// <summary>The value does not fit the format (KF 40000, KG 1e40, a long string).</summary>
        ErrValueRange = -111,
        /// <summary>A KT time not a whole number of its time base, and rounding not allowed.</summary>
        ErrValuePrecision = -112,
        /// <summary>A value of the wrong kind for the format (a real for KS).</summary>
        ErrValueKind = -113,
        /// <summary>NaN or infinity.</summary>
        ErrNotFinite = -114,
        /// <summary>Read: a KT or KZ digit above 9; the variable has no value.</summary>
        ErrInvalidBcd = -120,
        /// <summary>Write: no value was set for the variable; it was not written.</summary>
        ErrNoValue = -130,
        /// <summary>Write: a bit or part of a word, refused by noModify (ORVAVARS_OPTION_NO_MODIFY).</summary>
        ErrModifyRefused = -131,
        /// <summary>Not tried: an earlier call of the list lost the connection (-6, -7, -99).</summary>
        ErrNotTried = -132,
        /// <summary>Invalid argument: a null pointer, an index outside the list, a count that is not the list's.</summary>
        ErrArgument = -140,
        /// <summary>Out of memory.</summary>
        ErrNoMemory = -141,
        /// <summary>The list is full: a list holds at most <see cref="OrvaVarsNative.MaxVariables"/> variables.</summary>
        ErrTooMany = -142,
    }

    /// <summary>
    /// The names of orvanet.h and the texts of its ORVAResultName and ORVASocketErrorText, word for word; a test
    /// holds them to the header. Messages take their words from the library (<see cref="OrvaException"/>).
    /// </summary>
    public static class OrvaTexts
    {
        private struct Entry
        {
            public readonly int Code;
            public readonly string Name;
            public readonly string Text;

            public Entry(int code, string name, string text)
            {
                Code = code;
                Name = name;
                Text = text;
            }
        }

        private static readonly Entry[] Results =
        {
            new Entry(0, "ORVA_OK", "success"),
            new Entry(2, "ORVA_ERR_PLC", "the PLC refused: data block missing, or the range runs past the end of the area"),
            new Entry(-1, "ORVA_ERR_DROPPED", "the connection was dropped: closed, reset without a socket error, or a reply that did not fit"),
            new Entry(-2, "ORVA_ERR_NO_FREE_HANDLE", "all 64 handles are in use"),
            new Entry(-5, "ORVA_ERR_FAILED", "failed with no recorded cause: out of memory, a null buffer, nothing to transfer, a range past address 65535, or a data block number past 255"),
            new Entry(-6, "ORVA_ERR_CONNECT", "setting up the transport connection failed: check the TSAPs and the adapter's configuration"),
            new Entry(-7, "ORVA_ERR_SOCKET", "socket error: ORVAGetSockErr tells which"),
            new Entry(-10, "ORVA_ERR_AREA", "area not supported by this function"),
            new Entry(-99, "ORVA_ERR_HANDLE", "invalid handle: outside 0..63 or not open"),
        };

        private static readonly Entry[] SocketErrors =
        {
            new Entry(0, "", "none"),
            new Entry(10004, "WSAEINTR", "interrupted"),
            new Entry(10013, "WSAEACCES", "permission denied"),
            new Entry(10014, "WSAEFAULT", "bad address: the socket layer was handed memory it cannot use"),
            new Entry(10022, "WSAEINVAL", "invalid argument"),
            new Entry(10024, "WSAEMFILE", "too many open sockets"),
            new Entry(10036, "WSAEINPROGRESS", "an operation is already in progress on the socket"),
            new Entry(10038, "WSAENOTSOCK", "not a socket"),
            new Entry(10040, "WSAEMSGSIZE", "message too long"),
            new Entry(10048, "WSAEADDRINUSE", "address in use: no local port was free for the connection"),
            new Entry(10049, "WSAEADDRNOTAVAIL", "address not usable: not an IPv4 address a connection can be made to"),
            new Entry(10050, "WSAENETDOWN", "network is down"),
            new Entry(10051, "WSAENETUNREACH", "network unreachable: no route to that address"),
            new Entry(10052, "WSAENETRESET", "connection broken by the network while it was in use"),
            new Entry(10053, "WSAECONNABORTED", "connection aborted by the local system"),
            new Entry(10054, "WSAECONNRESET", "connection reset by the adapter"),
            new Entry(10055, "WSAENOBUFS", "no buffer space"),
            new Entry(10056, "WSAEISCONN", "already connected"),
            new Entry(10057, "WSAENOTCONN", "not connected"),
            new Entry(10058, "WSAESHUTDOWN", "the connection was already shut down for sending"),
            new Entry(10060, "WSAETIMEDOUT", "timed out: no answer within the receive or send time-out"),
            new Entry(10061, "WSAECONNREFUSED", "connection refused: nothing listens on port 102 at that address"),
            new Entry(10064, "WSAEHOSTDOWN", "host is down"),
            new Entry(10065, "WSAEHOSTUNREACH", "host unreachable: the TCP connect did not finish within the connect time-out"),
        };

        // The name or the text of code's row in table; otherwise where the table has none.
        private static string Lookup(Entry[] table, int code, bool name, string otherwise)
        {
            foreach (Entry e in table)
                if (e.Code == code) return name ? e.Name : e.Text;
            return otherwise;
        }

        /// <summary>The C name of a result of orvanet.h.</summary>
        /// <param name="code">A result code.</param>
        /// <returns><c>"ORVA_ERR_PLC"</c>; <c>""</c> for a code the header does not list.</returns>
        public static string ResultName(int code) { return Lookup(Results, code, true, ""); }

        /// <summary>The result in words.</summary>
        /// <param name="code">A result code of orvanet.h.</param>
        /// <returns>The text; <c>"unknown result"</c> for a code the header does not list.</returns>
        public static string ResultText(int code) { return Lookup(Results, code, false, "unknown result"); }

        /// <summary>The name of a socket error number.</summary>
        /// <param name="number">A Windows Sockets error number.</param>
        /// <returns><c>"WSAECONNREFUSED"</c>; <c>""</c> for 0 and for a number the header does not list.</returns>
        public static string SocketErrorName(int number) { return Lookup(SocketErrors, number, true, ""); }

        /// <summary>The number in words with its usual cause.</summary>
        /// <param name="number">A Windows Sockets error number.</param>
        /// <returns>The text; <c>"none"</c> for 0, <c>""</c> for a number the header does not list.</returns>
        public static string SocketErrorText(int number) { return Lookup(SocketErrors, number, false, ""); }
    }

    /// <summary>
    /// A failed library call, or one variable of a list that was not read or written.
    /// </summary>
    /// <remarks>
    /// The message is "&lt;what was asked&gt; failed: " and the library's own words for the result
    /// (ORVAVarsFailureText), the same in every binding:
    /// <code>
    /// reading 4 bytes from MB10..MB13 at 127.0.0.1 failed: socket error 10061
    /// (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that
    /// address (ORVA_ERR_SOCKET, result -7)
    /// </code>
    /// </remarks>
    public sealed class OrvaException : Exception
    {
        private static readonly IDictionary<string, OrvaException> None = new Dictionary<string, OrvaException>();

        /// <summary>An exception for a failed call, with no errors of single variables.</summary>
        /// <param name="function">The library function that failed.</param>
        /// <param name="operation">What was asked, in words.</param>
        /// <param name="result">The result code.</param>
        /// <param name="socketError">What ORVAGetSockErr said right after the call; 0 for none.</param>
        public OrvaException(string function, string operation, int result, int socketError)
            : this(function, operation, result, socketError, null)
        {
        }

        /// <summary>An exception for a failed call; the message is worded by the library.</summary>
        /// <param name="function">The library function that failed.</param>
        /// <param name="operation">What was asked, in words.</param>
        /// <param name="result">The result code.</param>
        /// <param name="socketError">What ORVAGetSockErr said right after the call; 0 for none.</param>
        /// <param name="errors">Each variable's error by its text, of a list write that failed; null for none.</param>
        public OrvaException(string function, string operation, int result, int socketError,
                             IDictionary<string, OrvaException> errors)
            : base(operation + " failed: " + OrvaLibrary.FailureText(result, socketError))
        {
            Function = function;
            Operation = operation;
            Code = result;
            Result = (OrvaResult)result;
            Name = OrvaLibrary.ResultName(result);
            SocketError = (SocketError)socketError;
            Errors = errors ?? None;
        }

        /// <summary>The library function that failed: <c>"ORVARdB"</c>, <c>"ORVAVarsRead"</c>.</summary>
        public string Function { get; private set; }

        /// <summary>What was asked: <c>"reading 4 bytes from MB0..MB3 at 127.0.0.1"</c>.</summary>
        public string Operation { get; private set; }

        /// <summary>The code as an <see cref="OrvaResult"/> (every code of both headers is a member).</summary>
        public OrvaResult Result { get; private set; }

        /// <summary>The code's C name: <c>"ORVA_ERR_SOCKET"</c>; <c>""</c> for a code neither header lists.</summary>
        public string Name { get; private set; }

        /// <summary>The code as an int: -7.</summary>
        public int Code { get; private set; }

        /// <summary>What ORVAGetSockErr said right after the call (Windows Sockets numbers on every platform, the
        /// values of <see cref="System.Net.Sockets.SocketError"/>; <c>Success</c> for none).</summary>
        public SocketError SocketError { get; private set; }

        /// <summary>A list write that failed gives each variable's error by its text (the others were written);
        /// empty for any other call.</summary>
        public IDictionary<string, OrvaException> Errors { get; private set; }
    }

    /// <summary>
    /// A variable's text that does not parse, or a value the library refuses, thrown before any traffic, with
    /// the library's message word for word (the position and what was expected, or the variable and its range).
    /// </summary>
    public sealed class OrvaVariableException : ArgumentException
    {
        /// <summary>An exception with the library's message.</summary>
        /// <param name="message">The library's message.</param>
        /// <param name="variable">The variable's text as given.</param>
        /// <param name="result">The result code: ErrUnknownFormat, ErrValueRange, ...</param>
        /// <param name="position">1-based in the variable's text; 0 when not about a position.</param>
        public OrvaVariableException(string message, string variable, int result, int position)
            : base(message)
        {
            Variable = variable;
            Result = (OrvaResult)result;
            Position = position;
        }

        /// <summary>The variable's text as given.</summary>
        public string Variable { get; private set; }

        /// <summary>Why: <see cref="OrvaResult.ErrUnknownFormat"/>, <see cref="OrvaResult.ErrValueRange"/>, ...</summary>
        public OrvaResult Result { get; private set; }

        /// <summary>1-based in the variable's text; 0 when not about a position.</summary>
        public int Position { get; private set; }

        /// <summary>The library's message, word for word.</summary>
        // ArgumentException would add a parameter line: the message stays the library's.
        public override string Message
        {
            get { return base.Message; }
        }
    }

    /// <summary>
    /// A native library could not be loaded (missing, of the other bitness, or not the library it is taken
    /// for): one message that names both files the binding needs, says which did not load, what the runtime
    /// searched, which process this is and how to fix it. <see cref="Exception.InnerException"/> is the
    /// runtime's own.
    /// </summary>
    public sealed class OrvaLibraryNotFoundException : DllNotFoundException
    {
        /// <summary>An exception that words the loader's error.</summary>
        /// <param name="vars">true when orvavars did not load (orvanet did), false when orvanet did not.</param>
        /// <param name="loaderError">The runtime's own exception.</param>
        public OrvaLibraryNotFoundException(bool vars, Exception loaderError)
            : base(Describe(vars, loaderError), loaderError)
        {
        }

        private static string Describe(bool vars, Exception loaderError)
        {
            bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
            string bits = Environment.Is64BitProcess ? "64" : "32";
            string net = windows ? "orvanet.dll" : "liborvanet.so", varsFile = windows ? "orvavars.dll" : "liborvavars.so";
            string text = "orvanet: cannot load the native library " + (vars ? varsFile : net) + " (" +
                          loaderError.GetType().Name + ": " + loaderError.Message + "); the binding needs " + net +
                          " and " + varsFile + (vars ? ", and " + net + " did load" : "") + ". ";
            if (windows)
            {
                text += "Searched: the program's folder, the system folders and the folders on PATH. ";
            }
            else
            {
                string path = Environment.GetEnvironmentVariable("LD_LIBRARY_PATH");
                text += "Searched: the folders of LD_LIBRARY_PATH (" + (string.IsNullOrEmpty(path) ? "not set" : path) +
                        ") and the system's library folders, for the unversioned names that a build folder and " +
                        "`cmake --install` have. ";
            }
            text += "This process is " + bits + "-bit (" + Environment.OSVersion + ") and needs the " + bits +
                    "-bit libraries. To fix it: ";
            if (windows)
                return text + "put orvanet.dll and orvavars.dll of the same bitness beside the program or in a folder on PATH.";
            return text + "run `cmake --install BUILD_DIR`, or set LD_LIBRARY_PATH to the folders that hold " +
                   "liborvanet.so and liborvavars.so (in a build folder: linklib and vars); where only the " +
                   "versioned files are installed, map the names to them (Mono: <dllmap dll=\"orvanet\" " +
                   "target=\"liborvanet.so.1\"/> and <dllmap dll=\"orvavars\" target=\"liborvavars.so.1\"/> in " +
                   "Orvanet.Net.dll.config; .NET 6 or later: NativeLibrary.SetDllImportResolver).";
        }
    }
}
