// SPDX-License-Identifier: Apache-2.0
// The result codes of orvanet.h and orvavars.h, the socket error numbers of
// orvanet.h with their names and texts, and the exceptions that carry them.
using System;
using System.Collections.Generic;
using System.Net.Sockets;

namespace Orvanet
{
    // The result codes: ORVA_OK is Ok, ORVA_ERR_PLC is ErrPlc, ORVA_ERR_NO_FREE_HANDLE is
    // ErrNoFreeHandle; those of orvavars.h the same way, ORVAVARS_ERR_INVALID_BCD is ErrInvalidBcd.
    public enum OrvaResult
    {
        Ok = 0,
        // orvanet.h
        ErrPlc = 2,
        ErrDropped = -1,
        ErrNoFreeHandle = -2,
        ErrFailed = -5,
        ErrConnect = -6,
        ErrSocket = -7,
        ErrArea = -10,
        ErrHandle = -99,
        // orvavars.h: the text of a variable, values, lists
        ErrSyntax = -101,
        ErrUnknownArea = -102,
        ErrUnknownFormat = -103,
        ErrFormatUnit = -104,
        ErrOutOfRange = -105,
        ErrValueText = -110,
        ErrValueRange = -111,
        ErrValuePrecision = -112,
        ErrValueKind = -113,
        ErrNotFinite = -114,
        ErrInvalidBcd = -120,
        ErrNoValue = -130,
        ErrModifyRefused = -131,
        ErrNotTried = -132,
        ErrArgument = -140,
        ErrNoMemory = -141,
        ErrTooMany = -142,
    }

    // The names of orvanet.h and the texts of its ORVAResultName and
    // ORVASocketErrorText, word for word; a test holds them to the header.
    // Messages take their words from the library (OrvaException).
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

        // "ORVA_ERR_PLC"; "" for a code the header does not list.
        public static string ResultName(int code) { return Lookup(Results, code, true, ""); }

        // The result in words; "unknown result" for a code the header does not list.
        public static string ResultText(int code) { return Lookup(Results, code, false, "unknown result"); }

        // "WSAECONNREFUSED"; "" for 0 and for a number the header does not list.
        public static string SocketErrorName(int number) { return Lookup(SocketErrors, number, true, ""); }

        // The number in words with its usual cause; "none" for 0, "" for a number the header does not list.
        public static string SocketErrorText(int number) { return Lookup(SocketErrors, number, false, ""); }
    }

    // A failed library call, or one variable of a list that was not read or
    // written. The message is "<what was asked> failed: " and the library's own
    // words for the result (ORVAVarsFailureText), the same in every binding:
    //   reading 4 bytes from MB10..MB13 at 127.0.0.1 failed: socket error 10061
    //   (WSAECONNREFUSED): connection refused: nothing listens on port 102 at that
    //   address (ORVA_ERR_SOCKET, result -7)
    // Result is the code as an OrvaResult (every code of both headers is a
    // member), Name its C name, Code the int, SocketError what ORVAGetSockErr said
    // right after the call (Windows Sockets numbers on every platform, the values
    // of System.Net.Sockets.SocketError; Success for none). Errors: a list write
    // that failed gives each variable's error by its text (the others were
    // written); empty for any other call.
    public sealed class OrvaException : Exception
    {
        private static readonly IDictionary<string, OrvaException> None = new Dictionary<string, OrvaException>();

        public OrvaException(string function, string operation, int result, int socketError)
            : this(function, operation, result, socketError, null)
        {
        }

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

        public string Function { get; private set; }    // "ORVARdB", "ORVAVarsRead"
        public string Operation { get; private set; }   // "reading 4 bytes from MB0..MB3 at 127.0.0.1"
        public OrvaResult Result { get; private set; }
        public string Name { get; private set; }        // "ORVA_ERR_SOCKET"; "" for a code neither header lists
        public int Code { get; private set; }           // -7
        public SocketError SocketError { get; private set; }
        public IDictionary<string, OrvaException> Errors { get; private set; }
    }

    // A variable's text that does not parse, or a value the library refuses,
    // thrown before any traffic, with the library's message word for word (the
    // position and what was expected, or the variable and its range).
    public sealed class OrvaVariableException : ArgumentException
    {
        public OrvaVariableException(string message, string variable, int result, int position)
            : base(message)
        {
            Variable = variable;
            Result = (OrvaResult)result;
            Position = position;
        }

        public string Variable { get; private set; }   // the text as given
        public OrvaResult Result { get; private set; }  // ErrUnknownFormat, ErrValueRange, ...
        public int Position { get; private set; }       // 1-based in the variable's text; 0 when not about a position

        // ArgumentException would add a parameter line: the message stays the library's.
        public override string Message
        {
            get { return base.Message; }
        }
    }

    // A native library could not be loaded (missing, of the other bitness, or
    // not the library it is taken for): one message that names both files the
    // binding needs, says which did not load, what the runtime searched, which
    // process this is and how to fix it. InnerException is the runtime's own.
    public sealed class OrvaLibraryNotFoundException : DllNotFoundException
    {
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
