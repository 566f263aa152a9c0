// SPDX-License-Identifier: Apache-2.0
// OrvaConnection: one handle of the library as a .NET object.
//
//   using (var plc = new OrvaConnection("192.168.0.10"))
//   {
//       IDictionary<string, OrvaValue> values = plc.Read(new[] { "DB10.DD30:KG", "MW20:KF" });
//       plc.Write(new Dictionary<string, object> { { "MW20:KF", -7 } });
//       plc.WriteWords("DB5", 3, new ushort[] { 0x1234, 42 });
//       byte[] flags = plc.ReadBytes("M", 0, 4);
//   }
using System;
using System.Collections.Generic;
using System.Net.Sockets;

namespace Orvanet
{
    // Opening sends nothing; the first read or write connects, the connection
    // is kept for the next calls, dropped by any failed exchange and set up
    // again by the next call.
    //
    // Variables: Read and Write take the PLC's notation ("DB10.DD30:KG",
    // "MW20:KF", "M20.3", "T3"; docs/variables.md) and give and take values.
    //
    // Bytes and words: areas are spelled as orvavars reads them, in either
    // case: A or O outputs, E or I inputs, M flags, T timers, Z or C counters,
    // DB<n> or D<n> data block n, DX<n> or X<n> extended data block n (also
    // "DB 5"), or "DB" and "DX" with db. Start and count are bytes for A, E and
    // M (also in the word functions, where a word covers two byte addresses),
    // words for D, X, T and Z. The library refuses the combinations a function
    // cannot take (writing inputs, bytes of a data block) with
    // OrvaResult.ErrArea, without traffic.
    //
    // Time-outs in milliseconds; 0 selects the library's defaults (500 ms
    // receive, 500 ms send, 5000 ms connect). Library failures throw
    // OrvaException, also every call after Dispose (ErrHandle); bad arguments
    // ArgumentException before any call; a library that cannot be loaded
    // OrvaLibraryNotFoundException from the constructor. One connection may be
    // used from several threads: its calls take turns, and Dispose waits for a
    // call in progress, so a handle number is never used after it was given back.
    public sealed class OrvaConnection : IDisposable
    {
        private const int MaxTsap = 8;
        private const int MaxAddress = 65535;
        private const int MaxBlock = 255;

        private readonly object gate = new object();
        private int handle = -1;  // stays -1 when the constructor throws: the finalizer closes nothing

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

        ~OrvaConnection()
        {
            if (handle >= 0) OrvaNative.ORVAClose(handle);
        }

        public string Address { get; private set; }

        // The library's handle 0..63; null once disposed.
        public int? Handle
        {
            get { return handle >= 0 ? handle : (int?)null; }
        }

        // ORVAGetSockErr: the handle's last socket error, SocketError.Success for none.
        public SocketError SocketError
        {
            get
            {
                lock (gate) return (SocketError)OrvaNative.ORVAGetSockErr(OpenHandle("ORVAGetSockErr", () => "asking for the socket error"));
            }
        }

        // Closes the handle; an established connection is reset. Disposing twice is harmless.
        public void Dispose()
        {
            lock (gate)
            {
                if (handle >= 0) OrvaNative.ORVAClose(handle);
                handle = -1;
            }
            GC.SuppressFinalize(this);
        }

        // Reads count bytes (1..65535) from start.
        public byte[] ReadBytes(string area, int start, int count, int? db = null)
        {
            return ReadRange<byte>("ORVARdB", area, db, start, count, false,
                                   (h, t, buffer) => OrvaNative.ORVARdB(h, t.Letter, t.Block, start, count, buffer));
        }

        // Reads count 16-bit words (1..65535) from start.
        public ushort[] ReadWords(string area, int start, int count, int? db = null)
        {
            return ReadRange<ushort>("ORVARdW", area, db, start, count, true,
                                     (h, t, buffer) => OrvaNative.ORVARdW(h, t.Letter, t.Block, start, count, buffer));
        }

        // Writes data (1..65535 bytes) from start.
        public void WriteBytes(string area, int start, byte[] data, int? db = null)
        {
            if (data == null) throw new ArgumentNullException("data");
            CheckWriteLength(data.Length, "bytes");
            Target t = Checked(area, db, start, data.Length, false);
            Transfer("ORVAWrB", t, start, data.Length, false,
                     h => OrvaNative.ORVAWrB(h, t.Letter, t.Block, start, data.Length, data));
        }

        // Writes values (1..65535 words) from start; the array is not changed.
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

        // Reads a list of variables in the fewest calls (one call into the library)
        // and gives each text its value (OrvaValue.Value: bool for bits, long for the
        // integer formats and KT milliseconds, double for KG, string for KC and KS)
        // or, where that variable was not read, its own OrvaException (OrvaValue.Error,
        // not thrown). A text that is not a variable throws OrvaVariableException (an
        // ArgumentException) before any traffic. An OrvaVariableList is planned once:
        // the fast way to read the same variables again.
        public IDictionary<string, OrvaValue> Read(IEnumerable<string> variables)
        {
            using (var once = new OrvaVariableList(variables))
                return Read(once);
        }

        public IDictionary<string, OrvaValue> Read(OrvaVariableList variables)
        {
            if (variables == null) throw new ArgumentNullException("variables");
            lock (gate)
            {
                int h = OpenHandle("ORVAVarsRead", () => "reading " + Plural(variables.Count, "variable"));
                return variables.ReadOn(h, " at " + Address);
            }
        }

        // Writes variables, each text to its value, in as few calls as the values
        // allow. Values by their type: bool, the integer types (milliseconds for KT),
        // double and float, TimeSpan (KT), string (for KC and KS the characters,
        // Latin-1; else a value as typed, such as "1.5s" or "0x1F"), OrvaValueText
        // (as typed, also for KC and KS), byte[] (KC, KS). Bits and bytes of data
        // words are read-modify-write: read, changed and written back, overwriting
        // what another writer changed in between; noModify refuses such writes.
        // roundTimes rounds a KT time to its time base instead of refusing it. A text
        // that is not a variable and a value the library refuses throw
        // OrvaVariableException, a value of another type ArgumentException, both
        // before any traffic. When a variable is not written, an OrvaException is
        // thrown: that of the first variable that failed (not of one left untried
        // after a lost connection), its Errors holding each one's error by its text
        // (all others were written).
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
