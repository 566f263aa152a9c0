// SPDX-License-Identifier: Apache-2.0
// orvanet for .NET: P/Invoke declarations of the seven functions of orvanet.dll.
using System.Runtime.InteropServices;

namespace Orvanet
{
    /// <summary>
    /// P/Invoke declarations of the seven functions of orvanet.dll (liborvanet.so on Linux).
    /// <see cref="OrvaConnection"/> wraps them; call these directly only where the wrapper does not fit.
    /// </summary>
    /// <remarks>
    /// <para>Meant for .NET Framework 4.x on 32- and 64-bit Windows, .NET 6 or later, and Mono. On 32-bit
    /// Windows the exports are __stdcall, which StdCall says; on every other platform there is one convention
    /// and StdCall is ignored.</para>
    /// <para>Area letters (a char converts to the int argument): A/O outputs, E/I inputs, M flags (start in
    /// bytes); D data block, X extended data block, T timers, Z/C counters (start in words; words only).
    /// Buffers are copied in and out for the duration of the call; the library keeps no reference to them.</para>
    /// <para>Every function returns an int (<see cref="OrvaResult"/>); nothing is thrown by the library.</para>
    /// </remarks>
    public static class OrvaNative
    {
        /// <summary>The library's name: orvanet.dll on Windows; on Linux .NET and Mono look for liborvanet.so.</summary>
        public const string Library = "orvanet";

        private const CallingConvention Convention = CallingConvention.StdCall;

        /// <summary>
        /// Opens a handle to the adapter at <paramref name="ipAddress"/>, port 102. Nothing is sent: the first
        /// data call connects.
        /// </summary>
        /// <param name="ipAddress">Dotted IPv4 address.</param>
        /// <param name="ownTsap">Own transport name (at most 8 characters are used; null is empty).</param>
        /// <param name="plcTsap">The PLC's transport name (at most 8 characters are used; null is empty).</param>
        /// <param name="receiveTimeoutMs">Receive time-out in ms; 0 selects the default, 500 ms.</param>
        /// <param name="sendTimeoutMs">Send time-out in ms; 0 selects the default, 500 ms.</param>
        /// <param name="connectTimeoutMs">Connect time-out in ms; 0 selects the default, 5000 ms. Any other
        /// time-out is taken as the unsigned 32-bit number of milliseconds it has the bits of, so a negative one
        /// is very long: -1 is 4294967295 ms, about 49.7 days.</param>
        /// <returns>The handle 0..63, <see cref="OrvaResult.ErrNoFreeHandle"/> or <see cref="OrvaResult.ErrFailed"/>.</returns>
        [DllImport(Library, CallingConvention = Convention, CharSet = CharSet.Ansi, ExactSpelling = true)]
        public static extern int ORVAOpen(string ipAddress, string ownTsap, string plcTsap,
                                          int receiveTimeoutMs, int sendTimeoutMs, int connectTimeoutMs);

        /// <summary>Closes a handle; an established connection is reset.</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <returns><see cref="OrvaResult.Ok"/> or <see cref="OrvaResult.ErrHandle"/>.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAClose(int handle);

        /// <summary>Reads <paramref name="count"/> bytes of outputs (A, O), inputs (E, I) or flags (M), starting
        /// at byte <paramref name="start"/>.</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <param name="areaLetter">The area letter.</param>
        /// <param name="dbNumber">The data block number (not used by these areas).</param>
        /// <param name="start">The first byte.</param>
        /// <param name="count">The number of bytes.</param>
        /// <param name="buffer">Receives the bytes (at least <paramref name="count"/> of them).</param>
        /// <returns>An <see cref="OrvaResult"/>: 0 on success.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVARdB(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [Out] byte[] buffer);

        /// <summary>Reads <paramref name="count"/> 16-bit words into <paramref name="buffer"/>, in host byte
        /// order. Areas: A O E I M (start and length counted in bytes), D X (data blocks
        /// <paramref name="dbNumber"/>, counted in words), T, Z C (words).</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <param name="areaLetter">The area letter.</param>
        /// <param name="dbNumber">The data block number, for D and X.</param>
        /// <param name="start">The first byte or word.</param>
        /// <param name="count">The number of words.</param>
        /// <param name="buffer">Receives the words (at least <paramref name="count"/> of them).</param>
        /// <returns>An <see cref="OrvaResult"/>: 0 on success.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVARdW(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [Out] ushort[] buffer);

        /// <summary>Writes <paramref name="count"/> bytes to outputs (A, O) or flags (M).</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <param name="areaLetter">The area letter.</param>
        /// <param name="dbNumber">The data block number (not used by these areas).</param>
        /// <param name="start">The first byte.</param>
        /// <param name="count">The number of bytes.</param>
        /// <param name="buffer">The bytes (at least <paramref name="count"/> of them).</param>
        /// <returns>An <see cref="OrvaResult"/>: 0 on success.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAWrB(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [In] byte[] buffer);

        /// <summary>Writes <paramref name="count"/> 16-bit words given in host byte order. Areas: A O M D X T Z
        /// C. The caller's buffer is not changed.</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <param name="areaLetter">The area letter.</param>
        /// <param name="dbNumber">The data block number, for D and X.</param>
        /// <param name="start">The first byte or word.</param>
        /// <param name="count">The number of words.</param>
        /// <param name="buffer">The words (at least <paramref name="count"/> of them).</param>
        /// <returns>An <see cref="OrvaResult"/>: 0 on success.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAWrW(int handle, int areaLetter, int dbNumber, int start, int count,
                                         [In] ushort[] buffer);

        /// <summary>The last socket error of the handle: a Windows Sockets number on every platform (the values
        /// of <see cref="System.Net.Sockets.SocketError"/>), 0 for none.</summary>
        /// <param name="handle">A handle of <see cref="ORVAOpen"/>.</param>
        /// <returns>The socket error, 0 for none, or <see cref="OrvaResult.ErrHandle"/>.</returns>
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int ORVAGetSockErr(int handle);
    }
}
