// SPDX-License-Identifier: Apache-2.0
// OrvaConnection: one handle of the library as a .NET object.
//
//   using (var plc = new OrvaConnection("192.168.0.10"))
//   {
//       plc.WriteWords("DB5", 3, new ushort[] { 0x1234, 42 });
//       ushort[] words = plc.ReadWords("DB5", 0, 10);
//       byte[] flags = plc.ReadBytes("M", 0, 4);
//   }
using System;
using System.Net.Sockets;

namespace Orvanet
{
    // Opening sends nothing; the first read or write connects, the connection
    // is kept for the next calls, dropped by any failed exchange and set up
    // again by the next call. Areas, case-insensitive: A or O outputs, E or I
    // inputs, M flags, T timers, Z or C counters, D/DB data block, X/DX extended
    // data block, with the block number in the spelling ("DB5", "DX7") or as db.
    // Start and count are bytes for A, E and M (also in the word functions,
    // where a word covers two byte addresses), words for D, X, T and Z. The
    // library refuses the combinations a function cannot take (writing inputs,
    // bytes of a data block) with OrvaResult.ErrArea, without traffic.
    //
    // Time-outs in milliseconds; 0 selects the library's defaults (500 ms
    // receive, 500 ms send, 5000 ms connect). Library failures throw
    // OrvaException; bad arguments ArgumentException before any call; calls
    // after Dispose ObjectDisposedException; a library that cannot be loaded
    // OrvaLibraryNotFoundException from the constructor. One connection may be used from
    // several threads: its calls take turns, and Dispose waits for a call in
    // progress, so a handle number is never used after it was given back.
    public sealed class OrvaConnection : IDisposable
    {
        private const int MaxTsap = 8;
        private const int MaxAddress = 0xFFFF;
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
            int h;
            try
            {
                h = OrvaNative.ORVAOpen(address, ownTsap, plcTsap, receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs);
            }
            catch (DllNotFoundException e)  // the first call of the process loads the library
            {
                throw new OrvaLibraryNotFoundException(e);
            }
            catch (BadImageFormatException e)  // a library of the other bitness
            {
                throw new OrvaLibraryNotFoundException(e);
            }
            catch (EntryPointNotFoundException e)  // a library of that name without the functions
            {
                throw new OrvaLibraryNotFoundException(e);
            }
            if (h < 0) throw new OrvaException("ORVAOpen", "opening a handle for " + address, h, 0);
            handle = h;
        }

        ~OrvaConnection()
        {
            if (handle >= 0) OrvaNative.ORVAClose(handle);
        }

        public string Address { get; private set; }

        // The library's handle 0..63; -1 once disposed.
        public int Handle
        {
            get { return handle; }
        }

        // ORVAGetSockErr: the handle's last socket error, SocketError.Success for none.
        public SocketError SocketError
        {
            get
            {
                lock (gate) return (SocketError)OrvaNative.ORVAGetSockErr(OpenHandle());
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
            Target t = Resolve(area, db);
            CheckRange(t, start, count, false);
            var buffer = new byte[count];
            Call("ORVARdB", "reading " + Plural(count, "byte") + " from " + t.Describe(start, count, false),
                 h => OrvaNative.ORVARdB(h, t.Letter, t.Block, start, count, buffer));
            return buffer;
        }

        // Reads count 16-bit words (1..65535) from start.
        public ushort[] ReadWords(string area, int start, int count, int? db = null)
        {
            Target t = Resolve(area, db);
            CheckRange(t, start, count, true);
            var buffer = new ushort[count];
            Call("ORVARdW", "reading " + Plural(count, "word") + " from " + t.Describe(start, count, true),
                 h => OrvaNative.ORVARdW(h, t.Letter, t.Block, start, count, buffer));
            return buffer;
        }

        // Writes data (1..65535 bytes) from start.
        public void WriteBytes(string area, int start, byte[] data, int? db = null)
        {
            if (data == null) throw new ArgumentNullException("data");
            CheckWriteLength(data.Length, "bytes");
            Target t = Resolve(area, db);
            CheckRange(t, start, data.Length, false);
            Call("ORVAWrB", "writing " + Plural(data.Length, "byte") + " to " + t.Describe(start, data.Length, false),
                 h => OrvaNative.ORVAWrB(h, t.Letter, t.Block, start, data.Length, data));
        }

        // Writes values (1..65535 words) from start; the array is not changed.
        public void WriteWords(string area, int start, ushort[] values, int? db = null)
        {
            if (values == null) throw new ArgumentNullException("values");
            CheckWriteLength(values.Length, "words");
            Target t = Resolve(area, db);
            CheckRange(t, start, values.Length, true);
            Call("ORVAWrW", "writing " + Plural(values.Length, "word") + " to " + t.Describe(start, values.Length, true),
                 h => OrvaNative.ORVAWrW(h, t.Letter, t.Block, start, values.Length, values));
        }

        private int OpenHandle()
        {
            if (handle < 0) throw new ObjectDisposedException("OrvaConnection", "the connection to " + Address + " is disposed");
            return handle;
        }

        private void Call(string function, string operation, Func<int, int> body)
        {
            int result, socketError;
            lock (gate)
            {
                int h = OpenHandle();
                result = body(h);
                if (result == (int)OrvaResult.Ok) return;
                // Under the lock: no other thread's call on this handle changes it in between.
                socketError = OrvaNative.ORVAGetSockErr(h);
            }
            throw new OrvaException(function, operation + " at " + Address, result, socketError);
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

            private string Label(bool words)
            {
                char unit = words ? 'W' : 'B';
                switch (Letter)
                {
                case 'D': return "DB " + Block + " D" + unit;
                case 'X': return "DX " + Block + " D" + unit;
                case 'T': case 'Z': return Letter + " ";
                default: return Letter.ToString() + unit;
                }
            }

            // Addresses one element covers: a word of A, E or M covers two bytes.
            public int Span(bool words)
            {
                return words && "AEM".IndexOf(Letter) >= 0 ? 2 : 1;
            }

            // The elements in the PLC's notation: "MB10..MB13", "DB 5 DW3".
            public string Describe(int start, int count, bool words)
            {
                string text = Label(words) + start;
                if (count > 1) text += ".." + Label(words) + (start + (count - 1) * Span(words));
                return text;
            }
        }

        private const string AreaChoices =
            "A or O (outputs), E or I (inputs), M (flags), DB<n> (data block n), DX<n> (extended data block n), " +
            "T (timers), Z or C (counters)";

        private static Target Resolve(string area, int? db)
        {
            if (area == null) throw new ArgumentNullException("area");
            string text = area.Trim().ToUpperInvariant();
            const string singles = "AOEIMTZC";
            const string letters = "AAEEMTZZ";
            int single = text.Length == 1 ? singles.IndexOf(text[0]) : -1;
            if (single >= 0)
            {
                if (db.HasValue)
                    throw new ArgumentException("db " + db + " is given for area '" + area + "', which has no block number (only DB and DX do)", "db");
                return new Target { Letter = letters[single], Block = 0 };
            }
            char letter;
            string rest;
            if (text.StartsWith("DB") || text.StartsWith("DX"))
            {
                letter = text[1] == 'B' ? 'D' : 'X';
                rest = text.Substring(2);
            }
            else if (text.StartsWith("D") || text.StartsWith("X"))
            {
                letter = text[0];
                rest = text.Substring(1);
            }
            else
            {
                throw new ArgumentException("unknown area '" + area + "': use " + AreaChoices, "area");
            }
            rest = rest.TrimStart(' ');
            int? block = null;
            if (rest.Length > 0)
            {
                int parsed;
                if (rest.Length > 3 || !int.TryParse(rest, System.Globalization.NumberStyles.None, null, out parsed))
                    throw new ArgumentException("unknown area '" + area + "': use " + AreaChoices, "area");
                if (parsed > MaxBlock)
                    throw new ArgumentException("block number " + parsed + " is out of range (0.." + MaxBlock + ")", "area");
                block = parsed;
            }
            if (db.HasValue)
            {
                if (db.Value < 0 || db.Value > MaxBlock)
                    throw new ArgumentOutOfRangeException("db", db.Value, "db " + db.Value + " is out of range (0.." + MaxBlock + ")");
                if (block.HasValue && block.Value != db.Value)
                    throw new ArgumentException("area '" + area + "' names block " + block + ", but db is " + db, "db");
                block = db;
            }
            if (!block.HasValue)
                throw new ArgumentException((letter == 'D' ? "data blocks (DB) need a block number: area 'DB5'" :
                                             "extended data blocks (DX) need a block number: area 'DX5'") + ", or db: 5", "area");
            return new Target { Letter = letter, Block = block.Value };
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
