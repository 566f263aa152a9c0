// SPDX-License-Identifier: Apache-2.0
// Variables in the PLC's notation ("DB10.DD30:KG", "MW20:KF", "M20.3", "T3")
// through orvavars: the notation and the data formats are the library's; here
// only the .NET values they become.
//
//   using (var plc = new OrvaConnection("192.168.0.10"))
//   {
//       plc.Write(new Dictionary<string, object> { { "DB10.DD30:KG", 12.5 }, { "MW20:KF", -7 } });
//       IDictionary<string, OrvaValue> values = plc.Read(new[] { "DB10.DD30:KG", "MW20:KF" });
//       double setPoint = (double)values["DB10.DD30:KG"].Value;   // throws its OrvaException if not read
//   }
using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Orvanet
{
    // What a variable addresses (ORVAVARS_ELEMENT_).
    public enum OrvaElement
    {
        Bit = 1,
        Byte = 2,
        Word = 3,
        Double = 4,
        LeftByte = 5,
        RightByte = 6,
    }

    // The data formats (ORVAVARS_FORMAT_): Boolean and Unsigned are the defaults of a bit and of the rest.
    public enum OrvaFormat
    {
        Boolean = 1,
        Unsigned = 2,
        KF = 3,
        KH = 4,
        KM = 5,
        KY = 6,
        KC = 7,
        KT = 8,
        KZ = 9,
        KG = 10,
        DH = 11,
        KS = 12,
    }

    // The kind of a value (ORVAVARS_KIND_), and its .NET type: bool, long, double, string, long milliseconds.
    public enum OrvaValueKind
    {
        None = 0,
        Boolean = 1,
        Integer = 2,
        Real = 3,
        Text = 4,
        Time = 5,
    }

    // One variable as the library parsed it.
    public sealed class OrvaVariableInfo
    {
        internal OrvaVariableInfo(OrvaVarInfo raw)
        {
            Text = OrvaLibrary.FromUtf8(raw.text);
            Area = (char)raw.area;
            Block = raw.block;
            Element = (OrvaElement)raw.element;
            Address = raw.address;
            Bit = raw.bit >= 0 ? raw.bit : (int?)null;
            Format = (OrvaFormat)raw.format;
            Length = raw.length;
            ByteOffset = raw.byteOffset;
            ByteCount = raw.byteCount;
        }

        public string Text { get; private set; }     // as the tools print it: DB10.DD30:KG, M10.3, T3
        public char Area { get; private set; }       // the letter orvanet takes: A E M D X T Z
        public int Block { get; private set; }       // 0..255 for D and X, else 0
        public OrvaElement Element { get; private set; }
        public int Address { get; private set; }     // the byte (A E M), the data word (D X), the cell (T Z)
        public int? Bit { get; private set; }        // 0..7 of a byte, 0..15 of a data word
        public OrvaFormat Format { get; private set; }
        public int Length { get; private set; }      // characters of a KS string, else 0
        public int ByteOffset { get; private set; }  // its first byte, from byte 0 of the area
        public int ByteCount { get; private set; }   // the bytes it covers
    }

    // What one read of a list costs.
    public struct OrvaPlan
    {
        public int Variables;
        public int Calls;      // orvanet calls
        public int Telegrams;  // fetch telegrams of at most 492 data bytes
        public int Bytes;      // data bytes fetched, the bytes between variables included
    }

    // A value to write in the text form the tools print and take: "12.5", "-3",
    // "0x1F", "true", "1.5s", "18,52", "A\x00B" (ORVAVarsSetText). A plain string
    // is taken so too, except for KC and KS, where it is the characters themselves
    // (Latin-1), as a read gives them.
    public sealed class OrvaValueText
    {
        public OrvaValueText(string text)
        {
            if (text == null) throw new ArgumentNullException("text");
            Text = text;
        }

        public string Text { get; private set; }

        public override string ToString()
        {
            return Text;
        }
    }

    // One variable's value, or its own error where it was not read.
    public sealed class OrvaValue
    {
        private readonly object value;

        internal OrvaValue(string variable, OrvaValueKind kind, object value, int timeBase, int timeDigits,
                           OrvaException error)
        {
            Variable = variable;
            Kind = kind;
            this.value = value;
            TimeBase = timeBase;
            TimeDigits = timeDigits;
            Error = error;
        }

        public string Variable { get; private set; }  // the text as given
        public OrvaValueKind Kind { get; private set; }  // None where it was not read
        public OrvaException Error { get; private set; }  // null where it was read
        public bool Succeeded
        {
            get { return Error == null; }
        }

        // bool for bits, long for the integer formats and KT (milliseconds), double for
        // KG, string for KC and KS; throws the variable's OrvaException where it was not read.
        public object Value
        {
            get
            {
                if (Error != null) throw Error;
                return value;
            }
        }

        // KT: the time base as stored (0: 10 ms, 1: 100 ms, 2: 1 s, 3: 10 s) and the three digits.
        public int TimeBase { get; private set; }
        public int TimeDigits { get; private set; }

        public override string ToString()
        {
            return Error != null ? Error.Message : Convert.ToString(value, System.Globalization.CultureInfo.InvariantCulture);
        }
    }

    // A list of variables, planned once and read with the fewest calls: the fast
    // way to read the same variables again and again (OrvaConnection.Read(list)).
    // Each variable keeps its own result. Calls from several threads take turns.
    // Dispose frees it; the finalizer does where it was not disposed.
    //   gap         ranges of one area and block at most this many bytes apart are read by one call (0..65535)
    //   roundTimes  a KT time that is no whole number of its time base is rounded, not refused (writes)
    //   noModify    writes that must read the PLC first (a bit, a byte of a data word) are refused
    public sealed class OrvaVariableList : IDisposable
    {
        private readonly object gate = new object();
        private readonly string[] texts;
        private readonly OrvaVariableInfo[] infos;
        private readonly Dictionary<string, int> indexOf = new Dictionary<string, int>();
        private readonly OrvaVarResult[] results;
        private IntPtr list;

        public OrvaVariableList(IEnumerable<string> variables, int gap = OrvaVarsNative.DefaultGap,
                                bool roundTimes = false, bool noModify = false)
        {
            if (variables == null) throw new ArgumentNullException("variables");
            texts = new List<string>(variables).ToArray();
            if (texts.Length > OrvaVarsNative.MaxVariables)
                throw new ArgumentException("a list holds at most " + OrvaVarsNative.MaxVariables + " variables, not " + texts.Length);
            if (gap < 0 || gap > 0xFFFF)
                throw new ArgumentOutOfRangeException("gap", gap, "gap " + gap + " is out of range (0..65535)");
            OrvaLibrary.EnsureLoaded();
            list = OrvaVarsNative.ORVAVarsNewList();
            if (list == IntPtr.Zero) throw new OutOfMemoryException("ORVAVarsNewList: out of memory");
            infos = new OrvaVariableInfo[texts.Length];
            try
            {
                for (int i = 0; i < texts.Length; i++)
                {
                    if (texts[i] == null) throw new ArgumentNullException("variables", "variable " + i + " is null");
                    OrvaVarsError error;
                    int added = OrvaVarsNative.ORVAVarsAdd(list, OrvaLibrary.Utf8z(texts[i], "the variable"), out error);
                    if (added < 0) throw new OrvaVariableException(OrvaLibrary.FromUtf8(error.message), texts[i], added, error.position);
                    OrvaVarInfo raw;
                    OrvaVarsNative.ORVAVarsGetInfo(list, i, out raw);
                    infos[i] = new OrvaVariableInfo(raw);
                    if (!indexOf.ContainsKey(texts[i])) indexOf.Add(texts[i], i);
                }
                OrvaVarsNative.ORVAVarsSetOption(list, OrvaVarsNative.OptionGap, gap);
                OrvaVarsNative.ORVAVarsSetOption(list, OrvaVarsNative.OptionRoundTimes, roundTimes ? 1 : 0);
                OrvaVarsNative.ORVAVarsSetOption(list, OrvaVarsNative.OptionNoModify, noModify ? 1 : 0);
            }
            catch
            {
                Dispose();
                throw;
            }
            results = new OrvaVarResult[texts.Length];
            Variables = new ReadOnlyCollection<string>(texts);
        }

        ~OrvaVariableList()
        {
            if (list != IntPtr.Zero) OrvaVarsNative.ORVAVarsFreeList(list);
        }

        public void Dispose()
        {
            lock (gate)
            {
                if (list != IntPtr.Zero) OrvaVarsNative.ORVAVarsFreeList(list);
                list = IntPtr.Zero;
            }
            GC.SuppressFinalize(this);
        }

        // The variable text names (ORVAVarsParse); OrvaVariableException with the
        // library's message (position and what was expected) when it is not one.
        public static OrvaVariableInfo Parse(string text)
        {
            if (text == null) throw new ArgumentNullException("text");
            OrvaLibrary.EnsureLoaded();
            OrvaVarInfo raw;
            OrvaVarsError error;
            int result = OrvaVarsNative.ORVAVarsParse(OrvaLibrary.Utf8z(text, "the variable"), out raw, out error);
            if (result != 0) throw new OrvaVariableException(OrvaLibrary.FromUtf8(error.message), text, result, error.position);
            return new OrvaVariableInfo(raw);
        }

        public int Count
        {
            get { return texts.Length; }
        }

        // The texts as given, in the list's order.
        public IList<string> Variables { get; private set; }

        public OrvaVariableInfo Info(int index)
        {
            return infos[CheckIndex(index)];
        }

        // The index of a variable's text as given (the first where it is given twice), or -1.
        public int IndexOf(string variable)
        {
            int index;
            return variable != null && indexOf.TryGetValue(variable, out index) ? index : -1;
        }

        // Plans the read now (the first read does it anyway) and says what it costs.
        public OrvaPlan Plan()
        {
            lock (gate)
            {
                OrvaVarsPlanInfo plan;
                OrvaVarsNative.ORVAVarsPlan(Pointer(), out plan);
                return new OrvaPlan { Variables = plan.variables, Calls = plan.calls, Telegrams = plan.telegrams, Bytes = plan.bytes };
            }
        }

        // Without traffic: the value of the variable's own bytes (ByteCount of them,
        // in the PLC's order), as a read would give it, or its error (ErrInvalidBcd).
        public OrvaValue Decode(int index, byte[] bytes)
        {
            CheckIndex(index);
            if (bytes == null) throw new ArgumentNullException("bytes");
            if (bytes.Length != infos[index].ByteCount)
                throw new ArgumentException(infos[index].Text + " covers " + infos[index].ByteCount + " bytes, not " + bytes.Length);
            lock (gate)
            {
                OrvaVarResult raw;
                OrvaVarsNative.ORVAVarsDecode(Pointer(), index, bytes, bytes.Length, out raw);
                return ValueOf(index, raw, "ORVAVarsDecode", "decoding " + infos[index].Text);
            }
        }

        // Without traffic: the bytes a write of value gives the variable (ByteCount of
        // them; a bit: its byte with only that bit set or clear). Throws as Write does.
        public byte[] Encode(int index, object value)
        {
            CheckIndex(index);
            lock (gate)
            {
                Set(index, value);
                var bytes = new byte[infos[index].ByteCount];
                int n = OrvaVarsNative.ORVAVarsEncoded(Pointer(), index, bytes, bytes.Length);
                if (n < bytes.Length) Array.Resize(ref bytes, Math.Max(0, n));
                return bytes;
            }
        }

        // The variable's current value (the last read, decoded or set) as the tools
        // print it ("12.34567", "127s", "A\x00"); null when it has none.
        public string ValueText(int index)
        {
            CheckIndex(index);
            lock (gate)
            {
                IntPtr pointer = Pointer();
                int first = OrvaVarsNative.ORVAVarsValueText(pointer, index, new byte[1], 1);
                if (first < 0) return null;
                return OrvaLibrary.Written((buffer, size) => OrvaVarsNative.ORVAVarsValueText(pointer, index, buffer, size));
            }
        }

        private int CheckIndex(int index)
        {
            if (index < 0 || index >= texts.Length)
                throw new ArgumentOutOfRangeException("index", index, "variable index " + index + " is outside the list of " + texts.Length);
            return index;
        }

        private IntPtr Pointer()
        {
            if (list == IntPtr.Zero) throw new ObjectDisposedException("OrvaVariableList");
            return list;
        }

        private OrvaValue ValueOf(int index, OrvaVarResult r, string function, string operation)
        {
            var kind = (OrvaValueKind)r.kind;
            if (r.status != 0 || kind == OrvaValueKind.None)
            {
                var error = new OrvaException(function, operation, r.status != 0 ? r.status : (int)OrvaResult.ErrNoValue, r.socketError);
                return new OrvaValue(texts[index], OrvaValueKind.None, null, 0, 0, error);
            }
            object value;
            switch (kind)
            {
            case OrvaValueKind.Boolean: value = r.integer != 0; break;
            case OrvaValueKind.Real: value = r.real; break;
            case OrvaValueKind.Text: value = OrvaLibrary.FromLatin1(r.text, r.length); break;
            default: value = r.integer; break;  // Integer, and Time in milliseconds
            }
            return new OrvaValue(texts[index], kind, value, r.timeBase, r.timeDigits, null);
        }

        private static readonly OrvaResult[] ListErrors = { OrvaResult.ErrArgument, OrvaResult.ErrNoMemory, OrvaResult.ErrTooMany };

        // ORVAVarsRead on handle: each text's value or error (the caller holds the connection's lock).
        internal IDictionary<string, OrvaValue> ReadOn(int handle, string where)
        {
            lock (gate)
            {
                int result = OrvaVarsNative.ORVAVarsRead(handle, Pointer(), results, results.Length);
                if (Array.IndexOf(ListErrors, (OrvaResult)result) >= 0)
                    throw new OrvaException("ORVAVarsRead", "reading " + texts.Length + " variables" + where, result, 0);
                var values = new Dictionary<string, OrvaValue>(texts.Length);
                for (int i = 0; i < texts.Length; i++)
                    if (!values.ContainsKey(texts[i]))
                        values.Add(texts[i], ValueOf(i, results[i], "ORVAVarsRead", "reading " + infos[i].Text + where));
                return values;
            }
        }

        // ORVAVarsWrite on handle of the values set: the error of each variable not written.
        internal IDictionary<string, OrvaException> WriteOn(int handle, string where)
        {
            lock (gate)
            {
                int result = OrvaVarsNative.ORVAVarsWrite(handle, Pointer(), results, results.Length);
                if (Array.IndexOf(ListErrors, (OrvaResult)result) >= 0)
                    throw new OrvaException("ORVAVarsWrite", "writing " + texts.Length + " variables" + where, result, 0);
                var errors = new Dictionary<string, OrvaException>();
                for (int i = 0; i < texts.Length; i++)
                    if (results[i].status != 0)
                        errors[texts[i]] = new OrvaException("ORVAVarsWrite", "writing " + infos[i].Text + where,
                                                             results[i].status, results[i].socketError);
                return errors;
            }
        }

        // The value to write to variable index, by its type; OrvaVariableException when the library refuses it.
        internal void Set(int index, object value)
        {
            lock (gate)
            {
                IntPtr pointer = Pointer();
                OrvaVariableInfo info = infos[index];
                OrvaVarsError error;
                int result;
                if (value is bool)
                {
                    result = OrvaVarsNative.ORVAVarsSetBoolean(pointer, index, (bool)value ? 1 : 0, out error);
                }
                else if (value is OrvaValueText)
                {
                    result = SetText(pointer, index, ((OrvaValueText)value).Text, out error);
                }
                else if (value is sbyte || value is byte || value is short || value is ushort || value is int ||
                         value is uint || value is long)
                {
                    result = OrvaVarsNative.ORVAVarsSetInteger(pointer, index, Convert.ToInt64(value), out error);
                }
                else if (value is ulong)
                {
                    // Past the 64-bit signed range the library words the refusal of its digits.
                    ulong u = (ulong)value;
                    result = u <= long.MaxValue ? OrvaVarsNative.ORVAVarsSetInteger(pointer, index, (long)u, out error)
                                                : SetText(pointer, index, u.ToString(System.Globalization.CultureInfo.InvariantCulture), out error);
                }
                else if (value is double || value is float)
                {
                    result = OrvaVarsNative.ORVAVarsSetReal(pointer, index, Convert.ToDouble(value), out error);
                }
                else if (value is TimeSpan)
                {
                    var time = (TimeSpan)value;
                    result = time.Ticks % TimeSpan.TicksPerMillisecond == 0
                                 ? OrvaVarsNative.ORVAVarsSetInteger(pointer, index, time.Ticks / TimeSpan.TicksPerMillisecond, out error)
                                 : OrvaVarsNative.ORVAVarsSetReal(pointer, index, time.TotalMilliseconds, out error);
                }
                else if (value is string)
                {
                    var text = (string)value;
                    byte[] latin1 = info.Format == OrvaFormat.KC || info.Format == OrvaFormat.KS ? OrvaLibrary.ToLatin1(text) : null;
                    // Beyond Latin-1 the library names the character it cannot write.
                    result = latin1 != null ? OrvaVarsNative.ORVAVarsSetString(pointer, index, latin1, latin1.Length, out error)
                                            : SetText(pointer, index, text, out error);
                }
                else if (value is byte[])
                {
                    var bytes = (byte[])value;
                    result = OrvaVarsNative.ORVAVarsSetString(pointer, index, bytes, bytes.Length, out error);
                }
                else
                {
                    throw new ArgumentException("the value for " + info.Text + " must be a bool, an integer, a double, a " +
                                                "string, a TimeSpan or a byte[], not " + (value == null ? "null" : value.GetType().Name));
                }
                if (result != 0) throw new OrvaVariableException(OrvaLibrary.FromUtf8(error.message), texts[index], result, 0);
            }
        }

        private int SetText(IntPtr pointer, int index, string text, out OrvaVarsError error)
        {
            return OrvaVarsNative.ORVAVarsSetText(pointer, index, OrvaLibrary.Utf8z(text, "the value for " + infos[index].Text), out error);
        }
    }
}
