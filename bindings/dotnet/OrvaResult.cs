// SPDX-License-Identifier: Apache-2.0
// The result codes and socket error numbers of orvanet.h, their names and
// their texts, and the exception that carries them.
using System;
using System.Net.Sockets;

namespace Orvanet
{
    // The result codes: ORVA_OK is Ok, ORVA_ERR_PLC is ErrPlc, ORVA_ERR_NO_FREE_HANDLE is ErrNoFreeHandle.
    public enum OrvaResult
    {
        Ok = 0,
        ErrPlc = 2,
        ErrDropped = -1,
        ErrNoFreeHandle = -2,
        ErrFailed = -5,
        ErrConnect = -6,
        ErrSocket = -7,
        ErrArea = -10,
        ErrHandle = -99,
    }

    // The names of orvanet.h and the texts of its ORVAResultName and
    // ORVASocketErrorText, word for word; a test holds them to the header.
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

        private static Entry? Find(Entry[] table, int code)
        {
            foreach (Entry e in table)
                if (e.Code == code) return e;
            return null;
        }

        // "ORVA_ERR_PLC"; "" for a code the header does not list.
        public static string ResultName(int code)
        {
            Entry? e = Find(Results, code);
            return e.HasValue ? e.Value.Name : "";
        }

        // The result in words; "unknown result" for a code the header does not list.
        public static string ResultText(int code)
        {
            Entry? e = Find(Results, code);
            return e.HasValue ? e.Value.Text : "unknown result";
        }

        // "WSAECONNREFUSED"; "" for 0 and for a number the header does not list.
        public static string SocketErrorName(int number)
        {
            Entry? e = Find(SocketErrors, number);
            return e.HasValue ? e.Value.Name : "";
        }

        // The number in words with its usual cause; "none" for 0, "" for a number the header does not list.
        public static string SocketErrorText(int number)
        {
            Entry? e = Find(SocketErrors, number);
            return e.HasValue ? e.Value.Text : "";
        }
    }

    // A failed library call. Result is the library's code, SocketError what
    // ORVAGetSockErr said right after the call (the library reports Windows
    // Sockets numbers on every platform, the values of System.Net.Sockets.SocketError);
    // Success for none.
    public sealed class OrvaException : Exception
    {
        public OrvaException(string function, string operation, int result, int socketError)
            : base(Describe(operation, result, socketError))
        {
            Function = function;
            Operation = operation;
            Result = (OrvaResult)result;
            SocketError = (SocketError)socketError;
        }

        public string Function { get; private set; }    // "ORVARdB"
        public string Operation { get; private set; }   // "reading 4 bytes from MB0..MB3 at 127.0.0.1"
        public OrvaResult Result { get; private set; }
        public SocketError SocketError { get; private set; }

        private static string Describe(string operation, int result, int socketError)
        {
            string name = OrvaTexts.ResultName(result);
            string text = operation + " failed: " + (name.Length > 0 ? name + " (" + result + ")" : "result " + result) +
                          ", " + OrvaTexts.ResultText(result);
            if (socketError != 0)
            {
                string socketName = OrvaTexts.SocketErrorName(socketError);
                text += "; socket error " + socketError;
                if (socketName.Length > 0) text += " " + socketName + ": " + OrvaTexts.SocketErrorText(socketError);
            }
            return text;
        }
    }

    // The native library could not be loaded (missing, of the other bitness, or
    // not liborvanet): one message that says what the runtime searched, which
    // process this is and how to fix it. InnerException is the runtime's own.
    public sealed class OrvaLibraryNotFoundException : DllNotFoundException
    {
        public OrvaLibraryNotFoundException(Exception loaderError)
            : base(Describe(loaderError), loaderError)
        {
        }

        private static string Describe(Exception loaderError)
        {
            bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
            string bits = Environment.Is64BitProcess ? "64" : "32";
            string file = windows ? "orvanet.dll" : "liborvanet.so";
            string text = "orvanet: cannot load the native library " + file + " (" + loaderError.GetType().Name + ": " +
                          loaderError.Message + "). ";
            if (windows)
            {
                text += "Searched: the program's folder, the system folders and the folders on PATH. ";
            }
            else
            {
                string path = Environment.GetEnvironmentVariable("LD_LIBRARY_PATH");
                text += "Searched: the folders of LD_LIBRARY_PATH (" + (string.IsNullOrEmpty(path) ? "not set" : path) +
                        ") and the system's library folders, for the unversioned name that the liborvanet-dev " +
                        "package and a build folder have. ";
            }
            text += "This process is " + bits + "-bit (" + Environment.OSVersion + ") and needs the " + bits +
                    "-bit library. To fix it: ";
            if (windows)
                return text + "put orvanet.dll of the same bitness beside the program or in a folder on PATH.";
            return text + "install the liborvanet-dev package or run `cmake --install BUILD_DIR`, or set " +
                   "LD_LIBRARY_PATH to the folder that holds liborvanet.so; where only liborvanet.so.1 is installed, " +
                   "map the name to it (Mono: <dllmap dll=\"orvanet\" target=\"liborvanet.so.1\"/> in " +
                   "Orvanet.Net.dll.config; .NET 6 or later: NativeLibrary.SetDllImportResolver).";
        }
    }
}
