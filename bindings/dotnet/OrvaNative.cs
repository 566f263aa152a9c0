// SPDX-License-Identifier: Apache-2.0
// orvanet for .NET: P/Invoke declarations of the seven functions of orvanet.dll
// (liborvanet.so on Linux). OrvaConnection wraps them; call these directly only
// where the wrapper does not fit.
//
// Meant for .NET Framework 4.x on 32- and 64-bit Windows, .NET 6 or later, and
// Mono. On 32-bit Windows the exports are __stdcall, which StdCall says; on
// every other platform there is one convention and StdCall is ignored.
//
// Area letters (a char converts to the int argument): A/O outputs, E/I inputs,
// M flags (start in bytes); D data block, X extended data block, T timers,
// Z/C counters (start in words; words only). Buffers are copied in and out for
// the duration of the call; the library keeps no reference to them.
using System.Runtime.InteropServices;

namespace Orvanet
{
    public static class OrvaNative
    {
        // orvanet.dll on Windows; on Linux .NET and Mono look for liborvanet.so.
        public const string Library = "orvanet";

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
    }
}
