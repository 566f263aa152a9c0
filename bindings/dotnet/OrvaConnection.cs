// SPDX-License-Identifier: Apache-2.0
// OrvaConnection: one handle of the library as a .NET object.
using System;
using System.Collections.Generic;
using System.Net.Sockets;

namespace Orvanet
{
    /// <summary>
    /// One handle of the library as a .NET object: a connection to the adapter of an S5 PLC.
    /// </summary>
    /// <remarks>
    /// <para>Opening sends nothing; the first read or write connects, the connection is kept for the next calls,
    /// dropped by any failed exchange and set up again by the next call.</para>
    /// <para>Variables: <see cref="Read(IEnumerable{string})"/> and <see cref="Write"/> take the PLC's notation
    /// ("DB10.DD30:KG", "MW20:KF", "M20.3", "T3"; docs/variables.md) and give and take values.</para>
    /// <para>Bytes and words: areas are spelled as orvavars reads them, in either case: A or O outputs, E or I
    /// inputs, M flags, T timers, Z or C counters, DB&lt;n&gt; or D&lt;n&gt; data block n, DX&lt;n&gt; or
    /// X&lt;n&gt; extended data block n (also "DB 5"), or "DB" and "DX" with db. Start and count are bytes for
    /// A, E and M (also in the word functions, where a word covers two byte addresses), words for D, X, T and
    /// Z. The library refuses the combinations a function cannot take (writing inputs, bytes of a data block)
    /// with <see cref="OrvaResult.ErrArea"/>, without traffic.</para>
    /// <para>Time-outs in milliseconds; 0 selects the library's defaults (500 ms receive, 500 ms send, 5000 ms
    /// connect). Library failures throw <see cref="OrvaException"/>, also every call after
    /// <see cref="Dispose"/> (<see cref="OrvaResult.ErrHandle"/>); bad arguments
    /// <see cref="ArgumentException"/> before any call; a library that cannot be loaded
    /// <see cref="OrvaLibraryNotFoundException"/> from the constructor. One connection may be used from several
    /// threads: its calls take turns, and Dispose waits for a call in progress, so a handle number is never
    /// used after it was given back.</para>
    /// <code>
    /// using (var plc = new OrvaConnection("192.168.0.10"))
    /// {
    ///     IDictionary&lt;string, OrvaValue&gt; values = plc.Read(new[] { "DB10.DD30:KG", "MW20:KF" });
    ///     plc.Write(new Dictionary&lt;string, object&gt; { { "MW20:KF", -7 } });
    ///     plc.WriteWords("DB5", 3, new ushort[] { 0x1234, 42 });
    ///     byte[] flags = plc.ReadBytes("M", 0, 4);
    /// }
    /// </code>
    /// </remarks>
    public sealed class OrvaConnection : IDisposable
    {
        private const int MaxTsap = 8;
        private const int MaxAddress = 65535;
        private const int MaxBlock = 255;

        private readonly object gate = new object();
        private int handle = -1;  // stays -1 when the constructor throws: the finalizer closes nothing

        /// <summary>Opens a handle for the adapter at <paramref name="address"/>, port 102; nothing is sent.</summary>
        /// <param name="address">A dotted IPv4 address such as "192.168.0.10" (host names are not resolved).</param>
        /// <param name="ownTsap">Own TSAP: ASCII, at most 8 characters; null or "" for none.</param>
        /// <param name="plcTsap">The PLC's TSAP: ASCII, at most 8 characters; null or "" for none.</param>
        /// <param name="receiveTimeoutMs">Receive time-out in ms; 0: 500 ms.</param>
        /// <param name="sendTimeoutMs">Send time-out in ms; 0: 500 ms.</param>
        /// <param name="connectTimeoutMs">Connect time-out in ms; 0: 5000 ms.</param>
        /// <exception cref="ArgumentException">A bad address or TSAP.</exception>
        /// <exception cref="ArgumentOutOfRangeException">A negative time-out.</exception>
        /// <exception cref="OrvaLibraryNotFoundException">A native library cannot be loaded.</exception>
        /// <exception cref="OrvaException">The library gives no handle (<see cref="OrvaResult.ErrNoFreeHandle"/>).</exception>
        public OrvaConnection(string address, string ownTsap = "", string plcTsap = "", int receiveTimeoutMs = 0,
                              int sendTimeoutMs = 0, int connectTimeoutMs = 0)
        {
            CheckAddress(address);
            ownTsap = CheckTsap(ownTsap, "ownTsap");
            plcTsap = CheckTsap(plcTsap, "plcTsap");
            CheckTimeout(receiveTimeoutMs, "receiveTimeoutMs");
            CheckTimeout(sendTimeoutMs, "sendTimeoutMs");
            CheckTimeout(connectTimeoutMs, "connectTimeoutMs");
            Address = address;
            OrvaLibrary.EnsureLoaded();
            int h = OrvaNative.ORVAOpen(address, ownTsap, plcTsap, receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs);
            if (h < 0) throw new OrvaException("ORVAOpen", "opening a handle for " + address, h, 0);
            handle = h;
        }

        /// <summary>Closes the handle of a connection that was not disposed.</summary>
        ~OrvaConnection()
        {
            if (handle >= 0) OrvaNative.ORVAClose(handle);
        }

        /// <summary>The address the connection was opened for.</summary>
        public string Address { get; private set; }

        /// <summary>The library's handle 0..63; null once disposed.</summary>
        public int? Handle
        {
            get { return handle >= 0 ? handle : (int?)null; }
        }

        /// <summary>ORVAGetSockErr: the handle's last socket error, <c>SocketError.Success</c> for none.</summary>
        /// <exception cref="OrvaException">After <see cref="Dispose"/> (<see cref="OrvaResult.ErrHandle"/>).</exception>
        public SocketError SocketError
        {
            get
            {
                lock (gate) return (SocketError)OrvaNative.ORVAGetSockErr(OpenHandle("ORVAGetSockErr", () => "asking for the socket error"));
            }
        }

        /// <summary>Closes the handle; an established connection is reset. Disposing twice is harmless.</summary>
        public void Dispose()
        {
            lock (gate)
            {
                if (handle >= 0) OrvaNative.ORVAClose(handle);
                handle = -1;
            }
            GC.SuppressFinalize(this);
        }

        /// <summary>Reads <paramref name="count"/> bytes (1..65535) from <paramref name="start"/>.</summary>
        /// <param name="area">The area, as orvavars spells it: "M", "E", "A", "DB5", "DX3", "T", "Z", "DB" with db.</param>
        /// <param name="start">The first byte (A, E, M) or word (D, X, T, Z), 0..65535.</param>
        /// <param name="count">The number of bytes, 1..65535.</param>
        /// <param name="db">The data block of "DB" or "DX" (0..255); null where area names it or has none.</param>
        /// <returns>The bytes read.</returns>
        /// <exception cref="ArgumentException">A bad area, db or range, before any call.</exception>
        /// <exception cref="OrvaException">The library call failed (also after <see cref="Dispose"/>).</exception>
        public byte[] ReadBytes(string area, int start, int count, int? db = null)
        {
            return ReadRange<byte>("ORVARdB", area, db, start, count, false,
                                   (h, t, buffer) => OrvaNative.ORVARdB(h, t.Letter, t.Block, start, count, buffer));
        }

        /// <summary>Reads <paramref name="count"/> 16-bit words (1..65535) from <paramref name="start"/>.</summary>
        /// <param name="area">The area, as orvavars spells it: "M", "E", "A", "DB5", "DX3", "T", "Z", "DB" with db.</param>
        /// <param name="start">The first byte (A, E, M) or word (D, X, T, Z), 0..65535.</param>
        /// <param name="count">The number of words, 1..65535.</param>
        /// <param name="db">The data block of "DB" or "DX" (0..255); null where area names it or has none.</param>
        /// <returns>The words read.</returns>
        /// <exception cref="ArgumentException">A bad area, db or range, before any call.</exception>
        /// <exception cref="OrvaException">The library call failed (also after <see cref="Dispose"/>).</exception>
        public ushort[] ReadWords(string area, int start, int count, int? db = null)
        {
            return ReadRange<ushort>("ORVARdW", area, db, start, count, true,
                                     (h, t, buffer) => OrvaNative.ORVARdW(h, t.Letter, t.Block, start, count, buffer));
        }

        /// <summary>Writes <paramref name="data"/> (1..65535 bytes) from <paramref name="start"/>.</summary>
        /// <param name="area">The area, as orvavars spells it: "M", "E", "A", "DB5", "DX3", "T", "Z", "DB" with db.</param>
        /// <param name="start">The first byte (A, E, M) or word (D, X, T, Z), 0..65535.</param>
        /// <param name="data">The bytes to write.</param>
        /// <param name="db">The data block of "DB" or "DX" (0..255); null where area names it or has none.</param>
        /// <exception cref="ArgumentNullException"><paramref name="data"/> is null.</exception>
        /// <exception cref="ArgumentException">A bad area, db or range, before any call.</exception>
        /// <exception cref="OrvaException">The library call failed (also after <see cref="Dispose"/>).</exception>
        public void WriteBytes(string area, int start, byte[] data, int? db = null)
        {
            if (data == null) throw new ArgumentNullException("data");
            CheckWriteLength(data.Length, "bytes");
            Target t = Checked(area, db, start, data.Length, false);
            Transfer("ORVAWrB", t, start, data.Length, false,
                     h => OrvaNative.ORVAWrB(h, t.Letter, t.Block, start, data.Length, data));
        }

        /// <summary>Writes <paramref name="values"/> (1..65535 words) from <paramref name="start"/>; the array is
        /// not changed.</summary>
        /// <param name="area">The area, as orvavars spells it: "M", "E", "A", "DB5", "DX3", "T", "Z", "DB" with db.</param>
        /// <param name="start">The first byte (A, E, M) or word (D, X, T, Z), 0..65535.</param>
        /// <param name="values">The words to write.</param>
        /// <param name="db">The data block of "DB" or "DX" (0..255); null where area names it or has none.</param>
        /// <exception cref="ArgumentNullException"><paramref name="values"/> is null.</exception>
        /// <exception cref="ArgumentException">A bad area, db or range, before any call.</exception>
        /// <exception cref="OrvaException">The library call failed (also after <see cref="Dispose"/>).</exception>
        public void WriteWords(string area, int start, ushort[] values, int? db = null)
        {
            if (values == null) throw new ArgumentNullException("values");
            CheckWriteLength(values.Length, "words");
            Target t = Checked(area, db, start, values.Length, true);
            Transfer("ORVAWrW", t, start, values.Length, true,
                     h => OrvaNative.ORVAWrW(h, t.Letter, t.Block, start, values.Length, values));
        }

        // The buffer is made only once the range is known to be good.
        private T[] ReadRange<T>(string function, string area, int? db, int start, int count, bool words,
                                 Func<int, Target, T[], int> native)
        {
            Target t = Checked(area, db, start, count, words);
            var buffer = new T[count];
            Transfer(function, t, start, count, words, h => native(h, t, buffer));
            return buffer;
        }

        private static Target Checked(string area, int? db, int start, int count, bool words)
        {
            Target t = Resolve(area, db);
            CheckRange(t, start, count, words);
            return t;
        }

        // The reads' function names begin with ORVARd.
        private void Transfer(string function, Target t, int start, int count, bool words, Func<int, int> body)
        {
            string verb = function.StartsWith("ORVARd", StringComparison.Ordinal) ? "reading" : "writing";
            Call(function, Range(verb, t, start, count, words), body);
        }

        // --- Variables -------------------------------------------------------------

        /// <summary>
        /// Reads a list of variables in the fewest calls (one call into the library) and gives each text its
        /// value (<see cref="OrvaValue.Value"/>: bool for bits, long for the integer formats and KT milliseconds,
        /// double for KG, string for KC and KS) or, where that variable was not read, its own
        /// <see cref="OrvaException"/> (<see cref="OrvaValue.Error"/>, not thrown).
        /// </summary>
        /// <remarks>An <see cref="OrvaVariableList"/> is planned once: the fast way to read the same variables
        /// again (<see cref="Read(OrvaVariableList)"/>).</remarks>
        /// <param name="variables">The variables in the PLC's notation: "DB10.DD30:KG", "MW20:KF", "M20.3", "T3".</param>
        /// <returns>Each text's value or error, by the text.</returns>
        /// <exception cref="ArgumentNullException"><paramref name="variables"/> or one of its texts is null.</exception>
        /// <exception cref="OrvaVariableException">A text that is not a variable (an
        /// <see cref="ArgumentException"/>), before any traffic.</exception>
        /// <exception cref="OrvaException">The list could not be read at all (after <see cref="Dispose"/>, a
        /// list error of the library).</exception>
        public IDictionary<string, OrvaValue> Read(IEnumerable<string> variables)
        {
            using (var once = new OrvaVariableList(variables))
                return Read(once);
        }

        /// <summary>Reads a list planned before, in the fewest calls: each text's value or its own
        /// <see cref="OrvaException"/>, as <see cref="Read(IEnumerable{string})"/>.</summary>
        /// <param name="variables">The list.</param>
        /// <returns>Each text's value or error, by the text.</returns>
        /// <exception cref="ArgumentNullException"><paramref name="variables"/> is null.</exception>
        /// <exception cref="ObjectDisposedException">The list is disposed.</exception>
        /// <exception cref="OrvaException">The list could not be read at all (after <see cref="Dispose"/>, a
        /// list error of the library).</exception>
        public IDictionary<string, OrvaValue> Read(OrvaVariableList variables)
        {
            if (variables == null) throw new ArgumentNullException("variables");
            lock (gate)
            {
                int h = OpenHandle("ORVAVarsRead", () => "reading " + Plural(variables.Count, "variable"));
                return variables.ReadOn(h, " at " + Address);
            }
        }

        /// <summary>
        /// Writes variables, each text to its value, in as few calls as the values allow.
        /// </summary>
        /// <remarks>
        /// Values by their type: bool, the integer types (milliseconds for KT), double and float, TimeSpan (KT),
        /// string (for KC and KS the characters, Latin-1; else a value as typed, such as "1.5s" or "0x1F"),
        /// <see cref="OrvaValueText"/> (as typed, also for KC and KS), byte[] (KC, KS). Bits and bytes of data
        /// words are read-modify-write: read, changed and written back, overwriting what another writer changed
        /// in between; <paramref name="noModify"/> refuses such writes.
        /// </remarks>
        /// <param name="values">Each variable's text in the PLC's notation, to its value.</param>
        /// <param name="roundTimes">Rounds a KT time to its time base instead of refusing it.</param>
        /// <param name="noModify">Refuses the read-modify-writes of bits and bytes of data words.</param>
        /// <exception cref="OrvaVariableException">A text that is not a variable, or a value the library refuses;
        /// before any traffic.</exception>
        /// <exception cref="ArgumentException">A value of another type, before any traffic.</exception>
        /// <exception cref="OrvaException">A variable is not written: that of the first variable that failed (not
        /// of one left untried after a lost connection), its <see cref="OrvaException.Errors"/> holding each
        /// one's error by its text (all others were written).</exception>
        public void Write(IDictionary<string, object> values, bool roundTimes = false, bool noModify = false)
        {
            if (values == null) throw new ArgumentNullException("values");
            var texts = new List<string>(values.Keys);
            IDictionary<string, OrvaException> errors;
            using (var once = new OrvaVariableList(texts, OrvaVarsNative.DefaultGap, roundTimes, noModify))
            {
                for (int i = 0; i < texts.Count; i++) once.Set(i, values[texts[i]]);
                lock (gate)
                {
                    int h = OpenHandle("ORVAVarsWrite", () => "writing " + Plural(texts.Count, "variable"));
                    errors = once.WriteOn(h, " at " + Address);
                }
            }
            // The cause: the first variable that failed, not one left untried after a lost connection.
            OrvaException first = null;
            foreach (string text in texts)
            {
                OrvaException e;
                if (!errors.TryGetValue(text, out e)) continue;
                if (first == null || (first.Result == OrvaResult.ErrNotTried && e.Result != OrvaResult.ErrNotTried)) first = e;
            }
            if (first != null) throw new OrvaException(first.Function, first.Operation, first.Code, (int)first.SocketError, errors);
        }

        // --- Calls ---------------------------------------------------------------------

        // The open handle; after Dispose the library's ErrHandle, without a call.
        private int OpenHandle(string function, Func<string> operation)
        {
            if (handle < 0) throw new OrvaException(function, operation() + " at " + Address, (int)OrvaResult.ErrHandle, 0);
            return handle;
        }

        // operation is worded only when the call fails.
        private void Call(string function, Func<string> operation, Func<int, int> body)
        {
            int result, socketError;
            lock (gate)
            {
                int h = OpenHandle(function, operation);
                result = body(h);
                if (result == (int)OrvaResult.Ok) return;
                // Under the lock: no other thread's call on this handle changes it in between.
                socketError = OrvaNative.ORVAGetSockErr(h);
            }
            throw new OrvaException(function, operation() + " at " + Address, result, socketError);
        }

        private static Func<string> Range(string verb, Target t, int start, int count, bool words)
        {
            return () => verb + " " + Plural(count, words ? "word" : "byte") + (verb == "writing" ? " to " : " from ") +
                         t.Describe(start, count, words);
        }

        private static string Plural(int count, string unit)
        {
            return count + " " + unit + (count == 1 ? "" : "s");
        }

        // --- Arguments ---------------------------------------------------------------

        private struct Target
        {
            public char Letter;  // A E M D X T Z
            public int Block;

            // Addresses one element covers: a word of A, E or M covers two bytes.
            public int Span(bool words)
            {
                return words && "AEM".IndexOf(Letter) >= 0 ? 2 : 1;
            }

            // The elements in the PLC's notation, as orvavars prints them: "MB10..MB13", "DB 5 DW3".
            public string Describe(int start, int count, bool words)
            {
                string text = OrvaLibrary.ElementAddress(Letter, Block, words, start, 0);
                if (count > 1) text += ".." + OrvaLibrary.ElementAddress(Letter, Block, words, start, count - 1);
                return text;
            }
        }

        // The area and block of a spelling (ORVAVarsParseArea) and of db, which gives the block separately.
        private static Target Resolve(string area, int? db)
        {
            if (area == null) throw new ArgumentNullException("area");
            int letter, block;
            OrvaVarsError error;
            if (OrvaVarsNative.ORVAVarsParseArea(OrvaLibrary.Utf8z(area, "area"), out letter, out block, out error) != 0)
                throw new ArgumentException(OrvaLibrary.FromUtf8(error.message));
            var t = new Target { Letter = (char)letter, Block = block };
            bool blocks = t.Letter == 'D' || t.Letter == 'X';
            if (db.HasValue)
            {
                if (db.Value < 0 || db.Value > MaxBlock)
                    throw new ArgumentOutOfRangeException("db", db.Value, "db " + db.Value + " is out of range (0.." + MaxBlock + ")");
                if (!blocks)
                    throw new ArgumentException("db " + db.Value + " is given for " + OrvaLibrary.AreaName(t.Letter) +
                                                ", which have no block number (only DB and DX do)");
                if (block >= 0 && block != db.Value)
                    throw new ArgumentException("area '" + area + "' names block " + block + ", but db is " + db.Value);
                t.Block = db.Value;
            }
            if (blocks && t.Block < 0)
                throw new ArgumentException(OrvaLibrary.AreaName(t.Letter) + " need a block number: area '" +
                                            (t.Letter == 'D' ? "DB5" : "DX5") + "', or db 5");
            if (!blocks) t.Block = 0;
            return t;
        }

        private static void CheckRange(Target t, int start, int count, bool words)
        {
            if (start < 0 || start > MaxAddress)
                throw new ArgumentOutOfRangeException("start", start, "start " + start + " is out of range (0.." + MaxAddress + ")");
            if (count < 1 || count > MaxAddress)
                throw new ArgumentOutOfRangeException("count", count, "count " + count + " is out of range (1.." + MaxAddress + ")");
            long last = start + (long)count * t.Span(words) - 1;
            if (last > MaxAddress)
                throw new ArgumentException("the range " + start + ".." + last + " runs past address " + MaxAddress + " of the area");
        }

        private static void CheckWriteLength(int length, string unit)
        {
            if (length < 1 || length > MaxAddress)
                throw new ArgumentException("a write takes 1.." + MaxAddress + " " + unit + ", not " + length);
        }

        private static void CheckAddress(string address)
        {
            if (address == null) throw new ArgumentNullException("address");
            string[] parts = address.Split('.');
            bool ok = parts.Length == 4;
            foreach (string part in parts)
            {
                int value;
                ok = ok && part.Length >= 1 && part.Length <= 3 &&
                     int.TryParse(part, System.Globalization.NumberStyles.None, null, out value) && value <= 255;
            }
            if (!ok)
                throw new ArgumentException("address '" + address + "' is not a dotted IPv4 address such as '192.168.0.10' " +
                                            "(host names are not resolved)", "address");
        }

        private static string CheckTsap(string tsap, string name)
        {
            tsap = tsap ?? "";
            foreach (char c in tsap)
                if (c == '\0' || c > 0x7F)
                    throw new ArgumentException(name + " '" + tsap + "' is not ASCII text without NUL", name);
            if (tsap.Length > MaxTsap)
                throw new ArgumentException(name + " '" + tsap + "' must be at most " + MaxTsap + " characters", name);
            return tsap;
        }

        private static void CheckTimeout(int ms, string name)
        {
            if (ms < 0)
                throw new ArgumentOutOfRangeException(name, ms, name + " " + ms + " is out of range: 0 selects the library's default, else 1.." + int.MaxValue + " ms");
        }
    }
}
