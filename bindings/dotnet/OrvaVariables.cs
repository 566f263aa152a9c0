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
    /// <summary>What a variable addresses (ORVAVARS_ELEMENT_).</summary>
    public enum OrvaElement
    {
        /// <summary>A bit: M10.3, DB5.D3.15.</summary>
        Bit = 1,
        /// <summary>A byte: MB10.</summary>
        Byte = 2,
        /// <summary>A word: MW10, DB5.DW3, T3, Z5.</summary>
        Word = 3,
        /// <summary>A double word: MD10, DB5.DD20.</summary>
        Double = 4,
        /// <summary>DB5.DL3: the high byte of data word 3.</summary>
        LeftByte = 5,
        /// <summary>DB5.DR3: its low byte.</summary>
        RightByte = 6,
    }

    /// <summary>The data formats (ORVAVARS_FORMAT_): <see cref="OrvaFormat.Boolean"/> and <see cref="OrvaFormat.Unsigned"/> are the
    /// defaults of a bit and of the rest.</summary>
    public enum OrvaFormat
    {
        /// <summary>A bit's value, true or false.</summary>
        Boolean = 1,
        /// <summary>Unsigned, of the unit's width.</summary>
        Unsigned = 2,
        /// <summary>Signed, two's complement of the unit's width (8, 16 or 32 bits).</summary>
        KF = 3,
        /// <summary>Hex, 2 or 4 digits.</summary>
        KH = 4,
        /// <summary>Bit pattern.</summary>
        KM = 5,
        /// <summary>Two bytes of a word, "18,52".</summary>
        KY = 6,
        /// <summary>The characters of a byte or word.</summary>
        KC = 7,
        /// <summary>Time value: three BCD digits and a time base.</summary>
        KT = 8,
        /// <summary>Count value: three BCD digits.</summary>
        KZ = 9,
        /// <summary>S5 floating point, double words.</summary>
        KG = 10,
        /// <summary>32-bit hex.</summary>
        DH = 11,
        /// <summary>A string of length characters from the variable's first byte (KS n, KC n).</summary>
        KS = 12,
    }

    /// <summary>The kind of a value (ORVAVARS_KIND_), and its .NET type: bool, long, double, string, long
    /// milliseconds.</summary>
    public enum OrvaValueKind
    {
        /// <summary>No value: not read, not set, or its status is not 0.</summary>
        None = 0,
        /// <summary>bool.</summary>
        Boolean = 1,
        /// <summary>long.</summary>
        Integer = 2,
        /// <summary>double.</summary>
        Real = 3,
        /// <summary>string: the Latin-1 characters.</summary>
        Text = 4,
        /// <summary>long milliseconds; <see cref="OrvaValue.TimeBase"/> and <see cref="OrvaValue.TimeDigits"/> as stored.</summary>
        Time = 5,
    }

    /// <summary>One variable as the library parsed it.</summary>
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

        /// <summary>As the tools print it: DB10.DD30:KG, M10.3, T3.</summary>
        public string Text { get; private set; }
        /// <summary>The letter orvanet takes: A E M D X T Z.</summary>
        public char Area { get; private set; }
        /// <summary>0..255 for D and X, else 0.</summary>
        public int Block { get; private set; }
        /// <summary>What it addresses: a bit, a byte, a word, ...</summary>
        public OrvaElement Element { get; private set; }
        /// <summary>The byte (A E M), the data word (D X), the cell (T Z).</summary>
        public int Address { get; private set; }
        /// <summary>0..7 of a byte, 0..15 of a data word; null where it is no bit.</summary>
        public int? Bit { get; private set; }
        /// <summary>Its data format.</summary>
        public OrvaFormat Format { get; private set; }
        /// <summary>Characters of a KS string, else 0.</summary>
        public int Length { get; private set; }
        /// <summary>Its first byte, from byte 0 of the area (data word n is bytes 2n, 2n+1).</summary>
        public int ByteOffset { get; private set; }
        /// <summary>The bytes it covers (a bit: the one byte that holds it).</summary>
        public int ByteCount { get; private set; }
    }

    /// <summary>What one read of a list costs (<see cref="OrvaVariableList.Plan"/>).</summary>
    public struct OrvaPlan
    {
        /// <summary>The variables of the list.</summary>
        public int Variables;
        /// <summary>orvanet calls.</summary>
        public int Calls;
        /// <summary>Fetch telegrams of at most 492 data bytes.</summary>
        public int Telegrams;
        /// <summary>Data bytes fetched, the bytes between variables included.</summary>
        public int Bytes;
    }

    /// <summary>
    /// A value to write in the text form the tools print and take: "12.5", "-3", "0x1F", "true", "1.5s",
    /// "18,52", "A\x00B" (ORVAVarsSetText). A plain string is taken so too, except for KC and KS, where it is
    /// the characters themselves (Latin-1), as a read gives them.
    /// </summary>
    public sealed class OrvaValueText
    {
        /// <summary>A value as typed.</summary>
        /// <param name="text">The text of the value.</param>
        /// <exception cref="ArgumentNullException"><paramref name="text"/> is null.</exception>
        public OrvaValueText(string text)
        {
            if (text == null) throw new ArgumentNullException("text");
            Text = text;
        }

        /// <summary>The text of the value.</summary>
        public string Text { get; private set; }

        /// <summary>The text of the value.</summary>
        /// <returns><see cref="Text"/>.</returns>
        public override string ToString()
        {
            return Text;
        }
    }

    /// <summary>One variable's value, or its own error where it was not read.</summary>
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

        /// <summary>The variable's text as given.</summary>
        public string Variable { get; private set; }
        /// <summary>The kind of the value; <see cref="OrvaValueKind.None"/> where it was not read.</summary>
        public OrvaValueKind Kind { get; private set; }
        /// <summary>The variable's own error; null where it was read.</summary>
        public OrvaException Error { get; private set; }
        /// <summary>Whether it was read: <see cref="Error"/> is null.</summary>
        public bool Succeeded
        {
            get { return Error == null; }
        }

        /// <summary>bool for bits, long for the integer formats and KT (milliseconds), double for KG, string for
        /// KC and KS.</summary>
        /// <exception cref="OrvaException">The variable's own <see cref="Error"/>, where it was not read.</exception>
        public object Value
        {
            get
            {
                if (Error != null) throw Error;
                return value;
            }
        }

        /// <summary>KT: the time base as stored (0: 10 ms, 1: 100 ms, 2: 1 s, 3: 10 s).</summary>
        public int TimeBase { get; private set; }
        /// <summary>KT: the three digits as stored, 0..999.</summary>
        public int TimeDigits { get; private set; }

        /// <summary>The value in invariant culture, or the error's message where it was not read.</summary>
        /// <returns>The value or the message.</returns>
        public override string ToString()
        {
            return Error != null ? Error.Message : Convert.ToString(value, System.Globalization.CultureInfo.InvariantCulture);
        }
    }

    /// <summary>
    /// A list of variables, planned once and read with the fewest calls: the fast way to read the same
    /// variables again and again (<see cref="OrvaConnection.Read(OrvaVariableList)"/>).
    /// </summary>
    /// <remarks>Each variable keeps its own result. Calls from several threads take turns.
    /// <see cref="Dispose"/> frees it; the finalizer does where it was not disposed.</remarks>
    public sealed class OrvaVariableList : IDisposable
    {
        private readonly object gate = new object();
        private readonly string[] texts;
        private readonly OrvaVariableInfo[] infos;
        private readonly Dictionary<string, int> indexOf = new Dictionary<string, int>();
        private readonly OrvaVarResult[] results;
        private IntPtr list;

        /// <summary>Parses the variables into a new list.</summary>
        /// <param name="variables">The variables in the PLC's notation, at most
        /// <see cref="OrvaVarsNative.MaxVariables"/>.</param>
        /// <param name="gap">Ranges of one area and block at most this many bytes apart are read by one call
        /// (0..65535).</param>
        /// <param name="roundTimes">A KT time that is no whole number of its time base is rounded, not refused
        /// (writes).</param>
        /// <param name="noModify">Writes that must read the PLC first (a bit, a byte of a data word) are
        /// refused.</param>
        /// <exception cref="ArgumentNullException"><paramref name="variables"/> or one of its texts is null.</exception>
        /// <exception cref="ArgumentException">Too many variables, or a gap out of range.</exception>
        /// <exception cref="OrvaVariableException">A text that is not a variable.</exception>
        /// <exception cref="OrvaLibraryNotFoundException">A native library cannot be loaded.</exception>
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

        /// <summary>Frees a list that was not disposed.</summary>
        ~OrvaVariableList()
        {
            if (list != IntPtr.Zero) OrvaVarsNative.ORVAVarsFreeList(list);
        }

        /// <summary>Frees the list; disposing twice is harmless. Reads, <see cref="Plan"/>, <see cref="Decode"/>,
        /// <see cref="Encode"/> and <see cref="ValueText"/> then throw <see cref="ObjectDisposedException"/>.</summary>
        public void Dispose()
        {
            lock (gate)
            {
                if (list != IntPtr.Zero) OrvaVarsNative.ORVAVarsFreeList(list);
                list = IntPtr.Zero;
            }
            GC.SuppressFinalize(this);
        }

        /// <summary>The variable <paramref name="text"/> names (ORVAVarsParse).</summary>
        /// <param name="text">A variable in the PLC's notation.</param>
        /// <returns>The variable as parsed.</returns>
        /// <exception cref="ArgumentNullException"><paramref name="text"/> is null.</exception>
        /// <exception cref="OrvaVariableException">With the library's message (position and what was expected)
        /// when it is not one.</exception>
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

        /// <summary>The number of variables.</summary>
        public int Count
        {
            get { return texts.Length; }
        }

        /// <summary>The texts as given, in the list's order.</summary>
        public IList<string> Variables { get; private set; }

        /// <summary>Variable <paramref name="index"/> as parsed.</summary>
        /// <param name="index">Its index in the list.</param>
        /// <returns>The variable as parsed.</returns>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="index"/> is outside the list.</exception>
        public OrvaVariableInfo Info(int index)
        {
            return infos[CheckIndex(index)];
        }

        /// <summary>The index of a variable's text as given (the first where it is given twice), or -1.</summary>
        /// <param name="variable">The text as given.</param>
        /// <returns>The index, or -1.</returns>
        public int IndexOf(string variable)
        {
            int index;
            return variable != null && indexOf.TryGetValue(variable, out index) ? index : -1;
        }

        /// <summary>Plans the read now (the first read does it anyway) and says what it costs.</summary>
        /// <returns>What one read of the list costs.</returns>
        /// <exception cref="ObjectDisposedException">The list is disposed.</exception>
        public OrvaPlan Plan()
        {
            lock (gate)
            {
                OrvaVarsPlanInfo plan;
                OrvaVarsNative.ORVAVarsPlan(Pointer(), out plan);
                return new OrvaPlan { Variables = plan.variables, Calls = plan.calls, Telegrams = plan.telegrams, Bytes = plan.bytes };
            }
        }

        /// <summary>Without traffic: the value of the variable's own bytes (<see cref="OrvaVariableInfo.ByteCount"/>
        /// of them, in the PLC's order), as a read would give it, or its error
        /// (<see cref="OrvaResult.ErrInvalidBcd"/>).</summary>
        /// <param name="index">The variable's index in the list.</param>
        /// <param name="bytes">Its bytes.</param>
        /// <returns>The value, or its error in <see cref="OrvaValue.Error"/>.</returns>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="index"/> is outside the list.</exception>
        /// <exception cref="ArgumentException"><paramref name="bytes"/> is null or not ByteCount long.</exception>
        /// <exception cref="ObjectDisposedException">The list is disposed.</exception>
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

        /// <summary>Without traffic: the bytes a write of <paramref name="value"/> gives the variable
        /// (<see cref="OrvaVariableInfo.ByteCount"/> of them; a bit: its byte with only that bit set or clear).
        /// Throws as <see cref="OrvaConnection.Write"/> does.</summary>
        /// <param name="index">The variable's index in the list.</param>
        /// <param name="value">The value, of a type <see cref="OrvaConnection.Write"/> takes.</param>
        /// <returns>The bytes, in the PLC's order.</returns>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="index"/> is outside the list.</exception>
        /// <exception cref="OrvaVariableException">A value the library refuses.</exception>
        /// <exception cref="ArgumentException">A value of another type.</exception>
        /// <exception cref="ObjectDisposedException">The list is disposed.</exception>
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

        /// <summary>The variable's current value (the last read, decoded or set) as the tools print it
        /// ("12.34567", "127s", "A\x00"); null when it has none.</summary>
        /// <param name="index">The variable's index in the list.</param>
        /// <returns>The text, or null.</returns>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="index"/> is outside the list.</exception>
        /// <exception cref="ObjectDisposedException">The list is disposed.</exception>
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
