// orvanet for .NET: P/Invoke declarations of the seven functions of orvanet.dll
// (liborvanet.so.1 on Linux, where .NET maps the name "orvanet" to it).
//
//   using Orva;
//
//   int h = Orvanet.ORVAOpen("127.0.0.1", "", "", 0, 0, 0);
//   if (h < 0) throw new OrvaException("ORVAOpen", h, 0);
//   try {
//       var words = new ushort[10];
//       Orvanet.Check(h, "ORVARdW", Orvanet.ORVARdW(h, 'D', 5, 0, words.Length, words));
//       Orvanet.Check(h, "ORVAWrW", Orvanet.ORVAWrW(h, 'D', 5, 3, 2, new ushort[] { 0x1234, 42 }));
//   } finally {
//       Orvanet.ORVAClose(h);
//   }
//
// Area letters (a char converts to the int argument): A/O outputs, E/I inputs,
// M flags (start in bytes); D data block, X extended data block, T timers,
// Z/C counters (start in words; words only). Buffers are copied in and out for
// the duration of the call; the library keeps no reference to them.
using System;
using System.Runtime.InteropServices;

namespace Orva
{
    public enum OrvaResult
    {
        Ok = 0,
        PlcError = 2,         // the PLC side refused: data area missing or too small; connection kept
        Dropped = -1,         // an exchange failed, the connection was dropped (no socket error)
        NoFreeHandle = -2,    // ORVAOpen: all 64 handles are in use
        Failed = -5,          // failed with no recorded cause
        ConnectFailed = -6,   // setting up the transport connection failed (no socket error)
        SocketError = -7,     // a socket error was recorded: ORVAGetSockErr
        BadArea = -10,        // area letter not supported by this function
        BadHandle = -99,      // handle outside 0..63 or not open
    }

    public static class SocketErrors
    {
        public const int ConnectionReset = 10054;    // the adapter reset the connection
        public const int TimedOut = 10060;           // no answer within the receive or send time-out
        public const int ConnectionRefused = 10061;  // nothing listens on port 102 at that address
        public const int HostUnreachable = 10065;    // the TCP connect did not finish within the connect time-out
    }

    public sealed class OrvaException : Exception
    {
        public OrvaException(string function, int result, int socketError)
            : base($"{function} failed: {(OrvaResult)result} ({result}), socket error {socketError}")
        {
            Result = (OrvaResult)result;
            SocketError = socketError;
        }

        public OrvaResult Result { get; }
        public int SocketError { get; }
    }

    public static class Orvanet
    {
        private const string Library = "orvanet";

        // The exports are __stdcall on 32-bit Windows; elsewhere the convention
        // is the platform's only one and StdCall is ignored.
        private const CallingConvention Convention = CallingConvention.StdCall;

        [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int ORVAOpen(string ipAddress, string ownTsap, string plcTsap,
                                          int receiveTimeoutMs, int sendTimeoutMs, int connectTimeoutMs);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAClose(int handle);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [Out] byte[] buffer);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [Out] ushort[] buffer);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [In] byte[] buffer);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [In] ushort[] buffer);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAGetSockErr(int handle);

        // Throws OrvaException for any result but Ok.
        public static void Check(int handle, string function, int result)
        {
            if (result != (int)OrvaResult.Ok)
                throw new OrvaException(function, result, ORVAGetSockErr(handle));
        }
    }
}
