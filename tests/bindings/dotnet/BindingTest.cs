// SPDX-License-Identifier: Apache-2.0
// The .NET binding end to end: OrvaConnection, OrvaVariableList and the
// P/Invoke declarations against an orvasim that this program starts on
// 127.0.1.30 and drives through its control channel (127.0.1.39: nothing
// listens), and the shared vectors of orvavars (tests/vectors/variables.json)
// through the binding's API. Prints one line per test and "== dotnet: N
// passed, M failed"; exits 1 on any failure.
//
//   mono BindingTest.exe ORVASIM READWRITE_EXE VARIABLES_EXE VECTORS_JSON
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Net.Sockets;
using System.Text;
using System.Threading;
using Orvanet;

// Just enough JSON for the vectors: objects, arrays, strings, numbers (kept as
// their text, so that a long and a double are each read exactly), true, false, null.
static class Json
{
    public sealed class Number
    {
        public string Text;
        public long Long { get { return long.Parse(Text, CultureInfo.InvariantCulture); } }
        public double Double { get { return double.Parse(Text, NumberStyles.Float, CultureInfo.InvariantCulture); } }
    }

    public static object Parse(string text)
    {
        int at = 0;
        object value = Value(text, ref at);
        Blank(text, ref at);
        if (at != text.Length) throw new FormatException("JSON: text after the value at " + at);
        return value;
    }

    private static void Blank(string t, ref int at)
    {
        while (at < t.Length && char.IsWhiteSpace(t[at])) at++;
    }

    private static object Value(string t, ref int at)
    {
        Blank(t, ref at);
        char c = t[at];
        if (c == '{')
        {
            var o = new Dictionary<string, object>();
            at++;
            Blank(t, ref at);
            if (t[at] == '}') { at++; return o; }
            for (;;)
            {
                Blank(t, ref at);
                string key = (string)Value(t, ref at);
                Blank(t, ref at);
                if (t[at++] != ':') throw new FormatException("JSON: ':' expected at " + at);
                o[key] = Value(t, ref at);
                Blank(t, ref at);
                if (t[at] == ',') { at++; continue; }
                if (t[at++] == '}') return o;
                throw new FormatException("JSON: ',' or '}' expected at " + at);
            }
        }
        if (c == '[')
        {
            var a = new List<object>();
            at++;
            Blank(t, ref at);
            if (t[at] == ']') { at++; return a; }
            for (;;)
            {
                a.Add(Value(t, ref at));
                Blank(t, ref at);
                if (t[at] == ',') { at++; continue; }
                if (t[at++] == ']') return a;
                throw new FormatException("JSON: ',' or ']' expected at " + at);
            }
        }
        if (c == '"')
        {
            var s = new StringBuilder();
            for (at++; t[at] != '"'; at++)
            {
                if (t[at] != '\\') { s.Append(t[at]); continue; }
                char e = t[++at];
                switch (e)
                {
                case 'n': s.Append('\n'); break;
                case 't': s.Append('\t'); break;
                case 'r': s.Append('\r'); break;
                case 'b': s.Append('\b'); break;
                case 'f': s.Append('\f'); break;
                case 'u': s.Append((char)Convert.ToInt32(t.Substring(at + 1, 4), 16)); at += 4; break;
                default: s.Append(e); break;  // " \ /
                }
            }
            at++;
            return s.ToString();
        }
        foreach (var word in new[] { "true", "false", "null" })
            if (string.CompareOrdinal(t, at, word, 0, word.Length) == 0)
            {
                at += word.Length;
                return word == "null" ? null : (object)(word == "true");
            }
        int start = at;
        while (at < t.Length && "+-0123456789.eE".IndexOf(t[at]) >= 0) at++;
        if (at == start) throw new FormatException("JSON: a value expected at " + at);
        return new Number { Text = t.Substring(start, at - start) };
    }
}

// orvasim with its control channel (tools/orvasim/control_channel.h).
sealed class Simulator : IDisposable
{
    private readonly Process process;
    private readonly TcpClient control;
    private readonly StreamReader reader;
    private readonly StreamWriter writer;

    public Simulator(string program, string address)
    {
        var start = new ProcessStartInfo(program, "--address " + address + " --control " + address + ":0")
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardInput = true,
        };
        process = Process.Start(start);
        string endpoint = null, line;
        while ((line = process.StandardOutput.ReadLine()) != null && !line.StartsWith("orvasim: listening on "))
            if (line.StartsWith("orvasim: control on ")) endpoint = line.Substring("orvasim: control on ".Length);
        if (line == null || endpoint == null) throw new Exception("orvasim did not start on " + address);
        int colon = endpoint.LastIndexOf(':');
        control = new TcpClient(endpoint.Substring(0, colon), int.Parse(endpoint.Substring(colon + 1)));
        control.ReceiveTimeout = 5000;
        reader = new StreamReader(control.GetStream());
        writer = new StreamWriter(control.GetStream()) { AutoFlush = true, NewLine = "\n" };
    }

    // One request; the data lines of its "ok" reply.
    public List<string> Call(string request)
    {
        writer.WriteLine(request);
        var lines = new List<string>();
        for (string line; (line = reader.ReadLine()) != null;)
        {
            if (line == "ok") return lines;
            if (line.StartsWith("error")) throw new Exception("orvasim control: " + request + ": " + line);
            lines.Add(line);
        }
        throw new Exception("orvasim control channel closed during " + request);
    }

    public int Accepted { get { return int.Parse(Call("accepted")[0]); } }

    public List<string> WaitForEnds(int count)
    {
        var watch = Stopwatch.StartNew();
        for (;;)
        {
            List<string> ends = Call("ends");
            if (ends.Count(e => e != "open") >= count || watch.ElapsedMilliseconds > 3000) return ends;
            Thread.Sleep(10);
        }
    }

    public byte[] Read(char area, int block, int offset, int count)
    {
        return FromHex(Call("read " + area + " " + block + " " + offset + " " + count)[0]);
    }

    public void Write(char area, int block, int offset, byte[] data)
    {
        Call("write " + area + " " + block + " " + offset + " " + BitConverter.ToString(data).Replace("-", ""));
    }

    public static byte[] FromHex(string hex)
    {
        var bytes = new byte[hex.Length / 2];
        for (int i = 0; i < bytes.Length; i++) bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);
        return bytes;
    }

    public void Dispose()
    {
        control.Close();
        if (!process.HasExited) process.Kill();
        process.WaitForExit();
    }
}

static class BindingTest
{
    const string SimAddress = "127.0.1.30";
    const string RefusingAddress = "127.0.1.39";
    const int ShortMs = 300;

    static Simulator sim;
    static string orvasimProgram, exampleProgram, variablesProgram;
    static Dictionary<string, object> vectors;

    static void Expect(bool condition, string what)
    {
        if (!condition) throw new Exception("expected " + what);
    }

    static void Equal<T>(T expected, T actual, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(expected, actual))
            throw new Exception(what + ": expected " + expected + ", got " + actual);
    }

    static void Same<T>(IEnumerable<T> expected, IEnumerable<T> actual, string what)
    {
        if (!expected.SequenceEqual(actual))
            throw new Exception(what + ": expected [" + string.Join(" ", expected) + "], got [" + string.Join(" ", actual) + "]");
    }

    static E Throws<E>(Action call, string what) where E : Exception
    {
        try
        {
            call();
        }
        catch (E e)
        {
            return e;
        }
        throw new Exception(what + ": expected " + typeof(E).Name + ", nothing was thrown");
    }

    static byte[] Pattern(int n, int seed)
    {
        return Enumerable.Range(0, n).Select(i => (byte)(i * 7 + seed)).ToArray();
    }

    // --- Every area, through every function that takes it ---------------------------

    static void WordsReachTheAdapterBigEndianAndReadBackInEveryArea()
    {
        var values = new ushort[] { 0x1234, 0xABCD, 0x0001, 0xFF00 };
        // Spelling, db, the simulator's area and block, and the byte offset of word 3.
        var areas = new[]
        {
            Tuple.Create("A", (int?)null, 'A', 0, 3), Tuple.Create("o", (int?)null, 'A', 0, 3),
            Tuple.Create("M", (int?)null, 'M', 0, 3), Tuple.Create("DB5", (int?)null, 'D', 5, 6),
            Tuple.Create("d", (int?)9, 'D', 9, 6), Tuple.Create("DX7", (int?)null, 'X', 7, 6),
            Tuple.Create("x 8", (int?)null, 'X', 8, 6), Tuple.Create("T", (int?)null, 'T', 0, 6),
            Tuple.Create("Z", (int?)null, 'Z', 0, 6), Tuple.Create("c", (int?)null, 'Z', 0, 6),
        };
        using (var plc = new OrvaConnection(SimAddress))
        {
            foreach (var a in areas)
            {
                plc.WriteWords(a.Item1, 3, values, a.Item2);
                Same(Simulator.FromHex("1234abcd0001ff00"), sim.Read(a.Item3, a.Item4, a.Item5, 8), a.Item1 + " in the adapter");
                Same(values, plc.ReadWords(a.Item1, 3, 4, a.Item2), a.Item1 + " read back");
            }
            Same(new ushort[] { 0x1234, 0xABCD, 0x0001, 0xFF00 }, values, "the caller's words, unchanged");
        }
        Equal(1, sim.Accepted, "connections");
    }

    static void BytesReachTheAdapterAndReadBackAsBytesAndWords()
    {
        byte[] data = Pattern(40, 1);
        using (var plc = new OrvaConnection(SimAddress))
        {
            foreach (string area in new[] { "A", "M" })
            {
                plc.WriteBytes(area, 200, data);
                Same(data, sim.Read(area[0], 0, 200, 40), area + " in the adapter");
                Same(data, plc.ReadBytes(area, 200, 40), area + " read back");
                // A word of a byte-counted area covers two byte addresses, high byte first.
                Equal((ushort)(data[2] << 8 | data[3]), plc.ReadWords(area, 200, 20)[1], area + " word 1");
            }
            sim.Write('E', 0, 16, data);
            Same(data, plc.ReadBytes("E", 16, 40), "inputs as bytes");
            Equal((ushort)(data[0] << 8 | data[1]), plc.ReadWords("I", 16, 20)[0], "inputs as words");
        }
    }

    static void TransfersOf65535ElementsAreSplitAndJoined()
    {
        byte[] flags = Pattern(65535, 3);
        sim.Write('M', 0, 0, flags);
        var timers = Enumerable.Range(0, 65535).Select(i => (ushort)(i * 31)).ToArray();
        using (var plc = new OrvaConnection(SimAddress))
        {
            Same(flags, plc.ReadBytes("M", 0, 65535), "65535 flag bytes");
            plc.WriteWords("T", 0, timers);
            Same(timers, plc.ReadWords("T", 0, 65535), "65535 timers");
        }
        Same(new byte[] { (byte)(timers[65534] >> 8), (byte)timers[65534] }, sim.Read('T', 0, 2 * 65534, 2), "the last timer");
    }

    static void TheTsapsReachTheConnectionRequestInTheirOrder()
    {
        using (var plc = new OrvaConnection(SimAddress, "own1", "plc22"))
            plc.ReadBytes("E", 0, 1);
        string request = sim.Call("crs")[0];
        Expect(request.Contains("c1046f776e31"), "the calling TSAP own1 in " + request);
        Expect(request.Contains("c205706c633232"), "the called TSAP plc22 in " + request);
    }

    // --- Failures ----------------------------------------------------------------

    static void FaultsOfTheAdapterThrowTheirResultAndTheNextCallRecovers()
    {
        // Where the fault is armed, its kind and value, a write or a read, the result and socket error.
        var cases = new[]
        {
            Tuple.Create("reply", "errorByte 3", true, OrvaResult.ErrPlc, SocketError.Success),
            Tuple.Create("reply", "wrongDataLength -1", false, OrvaResult.ErrDropped, SocketError.Success),
            Tuple.Create("reply", "resetBeforeReply", false, OrvaResult.ErrSocket, SocketError.ConnectionReset),
            Tuple.Create("reply", "silence", true, OrvaResult.ErrSocket, SocketError.TimedOut),
            Tuple.Create("confirm", "disconnectInsteadOfConfirm", false, OrvaResult.ErrConnect, SocketError.Success),
        };
        foreach (var c in cases)
        {
            // A connection of its own: a fault of the confirm needs a connection request.
            using (var plc = new OrvaConnection(SimAddress, receiveTimeoutMs: ShortMs))
            {
                sim.Call("fault " + c.Item1 + " " + c.Item2);
                var watch = Stopwatch.StartNew();
                OrvaException e = c.Item3
                    ? Throws<OrvaException>(() => plc.WriteBytes("M", 0, new byte[] { 1, 2 }), c.Item2)
                    : Throws<OrvaException>(() => plc.ReadBytes("M", 0, 2), c.Item2);
                Expect(watch.ElapsedMilliseconds < 3000, c.Item2 + " ends within its time-out and a margin");
                Equal(c.Item4, e.Result, c.Item2 + " result");
                Equal(c.Item5, e.SocketError, c.Item2 + " socket error");
                Equal(c.Item5, plc.SocketError, c.Item2 + " ORVAGetSockErr");
                Equal(c.Item3 ? "ORVAWrB" : "ORVARdB", e.Function, c.Item2 + " function");
                Equal(OrvaTexts.ResultName((int)c.Item4), e.Name, c.Item2 + " name");
                Equal((int)c.Item4, e.Code, c.Item2 + " code");
                // One shape in every binding: what was asked, then the library's words; the socket error leads.
                string words = c.Item5 != SocketError.Success
                    ? "socket error " + (int)c.Item5 + " (" + OrvaTexts.SocketErrorName((int)c.Item5) + "): " +
                      OrvaTexts.SocketErrorText((int)c.Item5)
                    : OrvaTexts.ResultText((int)c.Item4);
                Equal((c.Item3 ? "writing 2 bytes to MB0..MB1" : "reading 2 bytes from MB0..MB1") + " at " + SimAddress +
                      " failed: " + words + " (" + e.Name + ", result " + (int)c.Item4 + ")", e.Message, c.Item2 + " message");
                Same(sim.Read('M', 0, 0, 2), plc.ReadBytes("M", 0, 2), c.Item2 + " then a good read");
            }
        }
    }

    static void ARefusedConnectGivesConnectionRefusedWithTheMessageInWords()
    {
        using (var plc = new OrvaConnection(RefusingAddress))
        {
            var e = Throws<OrvaException>(() => plc.WriteWords("DB5", 3, new ushort[] { 1, 2 }), "a refused connect");
            Equal(OrvaResult.ErrSocket, e.Result, "result");
            Equal(SocketError.ConnectionRefused, e.SocketError, "socket error");
            Equal("writing 2 words to DB 5 DW3..DB 5 DW4 at " + RefusingAddress + " failed: socket error 10061 " +
                  "(WSAECONNREFUSED): connection refused: nothing listens on port 102 at that address " +
                  "(ORVA_ERR_SOCKET, result -7)", e.Message, "message");
            Equal("ORVA_ERR_SOCKET", e.Name, "name");
            Equal(-7, e.Code, "code");
        }
    }

    static void TheReceiveTimeOutReachesTheLibraryInItsPlace()
    {
        sim.Call("fault reply silence");
        using (var plc = new OrvaConnection(SimAddress, "", "", ShortMs, 0, 4000))
        {
            var watch = Stopwatch.StartNew();
            var e = Throws<OrvaException>(() => plc.ReadWords("Z", 0, 1), "silence");
            Equal(SocketError.TimedOut, e.SocketError, "socket error");
            Expect(watch.ElapsedMilliseconds > 250 && watch.ElapsedMilliseconds < 2000,
                   "the call to end after the 300 ms receive time-out, not " + watch.ElapsedMilliseconds + " ms");
        }
    }

    static void AreasAFunctionCannotTakeAreRefusedByTheLibraryWithoutTraffic()
    {
        using (var plc = new OrvaConnection(SimAddress))
        {
            var e = Throws<OrvaException>(() => plc.WriteBytes("E", 0, new byte[] { 1 }), "writing inputs");
            Equal(OrvaResult.ErrArea, e.Result, "writing inputs");
            Equal("writing 1 byte to EB0 at " + SimAddress + " failed: area not supported by this function " +
                  "(ORVA_ERR_AREA, result -10)", e.Message, "the library's words, as every binding says them");
            Equal(OrvaResult.ErrArea, Throws<OrvaException>(() => plc.WriteWords("I", 0, new ushort[] { 1 }), "words to inputs").Result, "words to inputs");
            Equal(OrvaResult.ErrArea, Throws<OrvaException>(() => plc.ReadBytes("DB5", 0, 2), "bytes of DB").Result, "bytes of DB");
        }
        Equal(0, sim.Accepted, "connections");
    }

    static void BadArgumentsAreRefusedBeforeAnyCall()
    {
        using (var plc = new OrvaConnection(SimAddress))
        {
            var refusals = new Dictionary<string, Action>
            {
                // Spellings are orvavars' (ORVAVarsParseArea), its refusals word for word.
                { "unknown area 'Q': use A or O, E or I, M, T, Z or C, DB<n> or D<n>, DX<n> or X<n> (n 0..255)",
                  () => plc.ReadWords("Q", 0, 1) },
                { "unknown area 'flags'", () => plc.ReadWords("flags", 0, 1) },
                { "block number 256 is out of range (0..255)", () => plc.ReadWords("DB256", 0, 1) },
                // How db goes with the spelling: the same words as in Python.
                { "data blocks (DB) need a block number: area 'DB5', or db 5", () => plc.ReadWords("DB", 0, 1) },
                { "db 5 is given for flags (M), which have no block number (only DB and DX do)", () => plc.ReadWords("M", 0, 1, 5) },
                { "area 'DB5' names block 5, but db is 6", () => plc.ReadWords("DB5", 0, 1, 6) },
                { "area 'M\\x00' contains a NUL character", () => plc.ReadWords("M\0", 0, 1) },
                { "count 0 is out of range (1..65535)", () => plc.ReadBytes("M", 0, 0) },
                { "start -1 is out of range (0..65535)", () => plc.ReadBytes("M", -1, 1) },
                { "the range 65534..65537 runs past address 65535", () => plc.ReadWords("M", 65534, 2) },
                { "a write takes 1..65535 words, not 0", () => plc.WriteWords("DB5", 0, new ushort[0]) },
                { "Value cannot be null", () => plc.WriteBytes("M", 0, null) },
            };
            foreach (var r in refusals)
                Expect(Throws<ArgumentException>(r.Value, r.Key).Message.Contains(r.Key), r.Key);
        }
        foreach (var bad in new[] { "plc1", "127.0.1", "127.0.1.256", "1.2.3.4.5" })
            Expect(Throws<ArgumentException>(() => new OrvaConnection(bad), bad).Message.Contains("is not a dotted IPv4 address"), bad);
        Expect(Throws<ArgumentException>(() => new OrvaConnection(SimAddress, "TOOLONGTSAP"), "long TSAP").Message.Contains("at most 8"), "TSAP length");
        Throws<ArgumentOutOfRangeException>(() => new OrvaConnection(SimAddress, "", "", -1), "negative time-out");
        Equal(0, sim.Accepted, "connections");
    }

    // --- Handles -------------------------------------------------------------------

    static void DisposeClosesTheHandleAndResetsTheConnection()
    {
        var plc = new OrvaConnection(SimAddress);
        int? handle = plc.Handle;
        plc.ReadBytes("M", 0, 1);
        plc.Dispose();
        plc.Dispose();
        Same(new[] { "reset" }, sim.WaitForEnds(1), "how the adapter saw the connection end");
        Equal(null, plc.Handle, "the handle once disposed");
        Equal((int)OrvaResult.ErrHandle, OrvaNative.ORVAGetSockErr(handle.Value), "ORVAGetSockErr of the closed handle");
        // Every call after Dispose: the library's ErrHandle, naming the address once.
        var calls = new Dictionary<string, Action>
        {
            { "reading 1 word from Z 0", () => plc.ReadWords("Z", 0, 1) },
            { "writing 2 bytes to MB4..MB5", () => plc.WriteBytes("M", 4, new byte[] { 1, 2 }) },
            { "reading 2 variables", () => plc.Read(new[] { "MW0", "DB1.DW0" }) },
            { "writing 1 variable", () => plc.Write(new Dictionary<string, object> { { "MW0", 1 } }) },
            { "asking for the socket error", () => { var unused = plc.SocketError; } },
        };
        foreach (var call in calls)
        {
            var e = Throws<OrvaException>(call.Value, call.Key + " after Dispose");
            Equal(OrvaResult.ErrHandle, e.Result, call.Key + " result");
            Equal(call.Key + " at " + SimAddress + " failed: invalid handle: outside 0..63 or not open (ORVA_ERR_HANDLE, result -99)",
                  e.Message, call.Key + " message");
        }
        using (var again = new OrvaConnection(SimAddress))
            Equal(handle, again.Handle, "the handle given back to the library");
    }

    static void TheFinalizerOfAConstructorThatThrewClosesNothing()
    {
        using (var plc = new OrvaConnection(SimAddress))
        {
            plc.ReadBytes("M", 0, 1);
            // On a thread of its own, so that nothing on this stack keeps the half-made object alive.
            var thread = new Thread(() => Throws<ArgumentException>(() => new OrvaConnection(SimAddress, "TOOLONGTSAP"), "long TSAP"));
            thread.Start();
            thread.Join();
            GC.Collect();
            GC.WaitForPendingFinalizers();
            plc.ReadBytes("M", 0, 1);
            Equal(1, sim.Accepted, "the first connection, still open");
        }
    }

    static void TheSixtyFifthConnectionGetsNoHandle()
    {
        var open = new List<OrvaConnection>();
        try
        {
            for (int i = 0; i < 64; i++) open.Add(new OrvaConnection(SimAddress));
            var e = Throws<OrvaException>(() => new OrvaConnection(SimAddress), "the 65th");
            Equal(OrvaResult.ErrNoFreeHandle, e.Result, "result");
            Equal("opening a handle for " + SimAddress + " failed: all 64 handles are in use (ORVA_ERR_NO_FREE_HANDLE, result -2)", e.Message, "message");
        }
        finally
        {
            foreach (var plc in open) plc.Dispose();
        }
    }

    static void ThreadsSharingOneConnectionEachMoveTheirOwnData()
    {
        int mismatches = 0;
        using (var plc = new OrvaConnection(SimAddress))
        {
            var threads = Enumerable.Range(0, 4).Select(t => new Thread(() =>
            {
                for (int round = 0; round < 25; round++)
                {
                    byte[] data = Pattern(48, t * 40 + round);
                    try
                    {
                        plc.WriteBytes("M", 1000 + t * 48, data);
                        if (!plc.ReadBytes("M", 1000 + t * 48, 48).SequenceEqual(data)) Interlocked.Increment(ref mismatches);
                    }
                    catch (OrvaException)
                    {
                        Interlocked.Increment(ref mismatches);
                    }
                }
            })).ToList();
            threads.ForEach(t => t.Start());
            threads.ForEach(t => t.Join());
        }
        Equal(0, mismatches, "mismatches");
        Equal(1, sim.Accepted, "connections");
    }

    // --- The example, as a user runs it ------------------------------------------

    // The example with LD_LIBRARY_PATH as it is, without it (libraryPath ""), or set to libraryPath.
    static string RunExample(string program, string address, string libraryPath, out int status)
    {
        var start = new ProcessStartInfo("mono", "\"" + program + "\" " + address)
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
        };
        if (libraryPath == "") start.EnvironmentVariables.Remove("LD_LIBRARY_PATH");
        else if (libraryPath != null) start.EnvironmentVariables["LD_LIBRARY_PATH"] = libraryPath;
        using (Process p = Process.Start(start))
        {
            string stdout = p.StandardOutput.ReadToEnd();
            string stderr = p.StandardError.ReadToEnd();
            p.WaitForExit();
            status = p.ExitCode;
            return stdout + stderr;
        }
    }

    static void TheExampleWritesAndReadsBackEveryAreaItNames()
    {
        int status;
        string output = RunExample(exampleProgram, SimAddress, null, out status);
        Equal(0, status, "exit status of: " + output);
        Expect(output.EndsWith("all values read back as written\n"), "the closing line in: " + output);
        Same(new byte[] { 0x01, 0x80, 0x7F, 0xFF }, sim.Read('M', 0, 100, 4), "flags in the adapter");
        output = RunExample(exampleProgram, RefusingAddress, null, out status);
        Equal(2, status, "exit status with nothing listening");
        Expect(output.StartsWith("writing 4 bytes to MB100..MB103 at " + RefusingAddress + " failed: socket error 10061 " +
                                 "(WSAECONNREFUSED): ") && output.Contains("(ORVA_ERR_SOCKET, result -7)"), output);
    }

    static void TheVariablesExampleWritesAndReadsBackEachValueAndShowsOneThatFails()
    {
        int status;
        string output = RunExample(variablesProgram, SimAddress, null, out status);
        Equal(0, status, "exit status of: " + output);
        string[] lines = output.Split('\n');
        Equal("DB10.DD30:KG = 12.3456707000732 (Real)", lines[0], "the KG line");
        Equal("DB10.DW4:KT = 1500 (Time)", lines[1], "the KT line");
        Equal("DB10.DW40:KS8 = orvanet  (Text)", lines[5], "the KS line");
        Expect(lines[7].StartsWith("DB255.DW65535: reading DB255.DW65535 at " + SimAddress + " failed: the PLC refused"), lines[7]);
        Equal("all variables read back as written", lines[8], "the closing line");
        Same(Simulator.FromHex("0462c3ef"), sim.Read('D', 10, 60, 4), "the set point in the adapter");
        output = RunExample(variablesProgram, RefusingAddress, null, out status);
        Equal(2, status, "exit status with nothing listening");
        // The variable whose call failed, not one left untried after it.
        Expect(output.StartsWith("writing DB10.") && output.Contains(" at " + RefusingAddress + " failed: socket error 10061 "), output);
    }

    static void WithoutTheLibraryOneMessageSaysWhatWasSearchedAndHowToFixIt()
    {
        int status;
        string output = RunExample(exampleProgram, SimAddress, "", out status);
        Equal(2, status, "exit status of: " + output);
        Expect(output.StartsWith("orvanet: cannot load the native library liborvanet.so (DllNotFoundException: "), output);
        Expect(output.Contains("the binding needs liborvanet.so and liborvavars.so. ") &&
               output.Contains("LD_LIBRARY_PATH (not set)") && output.Contains("This process is 64-bit") &&
               output.Contains("run `cmake --install BUILD_DIR`"), output);
        Expect(!output.Contains("   at "), "no stack trace in: " + output);
        // liborvanet found, liborvavars not: the message names the one missing.
        string netOnly = Environment.GetEnvironmentVariable("LD_LIBRARY_PATH").Split(':').First(p => p.EndsWith("linklib"));
        output = RunExample(variablesProgram, SimAddress, netOnly, out status);
        Equal(2, status, "exit status of: " + output);
        Expect(output.StartsWith("orvanet: cannot load the native library liborvavars.so (DllNotFoundException: "), output);
        Expect(output.Contains("and liborvanet.so did load") && output.Contains("LD_LIBRARY_PATH (" + netOnly + ")"), output);
    }

    // --- The shared vectors of orvavars, through the binding's API -------------------

    static List<object> Cases(string section)
    {
        return (List<object>)vectors[section];
    }

    static string Str(Dictionary<string, object> o, string key)
    {
        return (string)o[key];
    }

    static Json.Number Num(Dictionary<string, object> o, string key)
    {
        return (Json.Number)o[key];
    }

    // "ORVAVARS_ERR_VALUE_RANGE" -> OrvaResult.ErrValueRange, as the binding names the header's codes.
    static OrvaResult ResultNamed(string name)
    {
        string rest = name.Substring(name.StartsWith("ORVAVARS_") ? 9 : 5);
        return (OrvaResult)Enum.Parse(typeof(OrvaResult),
                                      string.Concat(rest.Split('_').Select(w => w.Substring(0, 1) + w.Substring(1).ToLowerInvariant())));
    }

    static string Hex(byte[] bytes)
    {
        return BitConverter.ToString(bytes).Replace("-", "");
    }

    // Runs check on every case, and fails once with all the cases that failed.
    static void EveryCase(string section, Func<Dictionary<string, object>, string> name, Action<Dictionary<string, object>> check)
    {
        var failed = new List<string>();
        foreach (Dictionary<string, object> c in Cases(section))
        {
            try
            {
                check(c);
            }
            catch (Exception e)
            {
                failed.Add(name(c) + ": " + e.Message);
            }
        }
        Expect(Cases(section).Count >= 40, "at least 40 cases in " + section);
        if (failed.Count > 0) throw new Exception(failed.Count + " of " + Cases(section).Count + " cases:\n  " + string.Join("\n  ", failed));
    }

    static void EveryTextParsesAsTheVectorsSay()
    {
        EveryCase("parse", c => Str(c, "text"), c =>
        {
            string text = Str(c, "text");
            if (c.ContainsKey("error"))
            {
                var expected = (Dictionary<string, object>)c["error"];
                foreach (Action parse in new Action[] { () => OrvaVariableList.Parse(text), () => new OrvaVariableList(new[] { text }) })
                {
                    var e = Throws<OrvaVariableException>(parse, text);
                    Equal(Str(expected, "message"), e.Message, "message");
                    Equal(ResultNamed(Str(expected, "code")), e.Result, "result");
                    Equal((int)Num(expected, "position").Long, e.Position, "position");
                    Equal(text, e.Variable, "variable");
                }
                return;
            }
            var v = (Dictionary<string, object>)c["variable"];
            OrvaVariableInfo info = OrvaVariableList.Parse(text);
            string area = Str(v, "area");
            Equal(area == "DB" ? 'D' : area == "DX" ? 'X' : area[0], info.Area, "area");
            Equal((int)Num(v, "block").Long, info.Block, "block");
            Equal((OrvaElement)Enum.Parse(typeof(OrvaElement), Str(v, "element").Replace("_", ""), true), info.Element, "element");
            Equal((int)Num(v, "address").Long, info.Address, "address");
            int bit = (int)Num(v, "bit").Long;
            Equal(bit < 0 ? (int?)null : bit, info.Bit, "bit");
            Equal((OrvaFormat)Enum.Parse(typeof(OrvaFormat), Str(v, "format"), true), info.Format, "format");
            Equal((int)Num(v, "length").Long, info.Length, "length");
            Equal((int)Num(v, "byteOffset").Long, info.ByteOffset, "byte offset");
            Equal((int)Num(v, "byteCount").Long, info.ByteCount, "byte count");
            Equal(Str(v, "text"), info.Text, "text");
        });
    }

    static void EveryVariablesBytesDecodeToTheirValueAndText()
    {
        EveryCase("decode", c => Str(c, "variable") + " " + Str(c, "bytes"), c =>
        {
            using (var list = new OrvaVariableList(new[] { Str(c, "variable") }))
            {
                OrvaValue value = list.Decode(0, Simulator.FromHex(Str(c, "bytes")));
                OrvaResult status = ResultNamed(Str(c, "status"));
                var kind = (OrvaValueKind)Enum.Parse(typeof(OrvaValueKind), Str(c, "kind"), true);
                Equal(kind, value.Kind, "kind");
                if (status != OrvaResult.Ok)
                {
                    Expect(!value.Succeeded && value.Error.Result == status, "the error " + status + ", not " + value);
                    Equal("decoding " + list.Info(0).Text + " failed: ", value.Error.Message.Substring(0, list.Info(0).Text.Length + 18), "message");
                    Equal(null, list.ValueText(0), "no value text");
                    return;
                }
                object got = value.Value;
                switch (kind)
                {
                case OrvaValueKind.Boolean: Equal((bool)c["boolean"], (bool)got, "boolean"); break;
                case OrvaValueKind.Integer: Equal(Num(c, "integer").Long, (long)got, "integer"); break;
                case OrvaValueKind.Real: Equal(Num(c, "real").Double, (double)got, "real, exactly"); break;
                case OrvaValueKind.Text: Equal(Str(c, "string"), (string)got, "string"); break;
                case OrvaValueKind.Time:
                    Equal(Num(c, "integer").Long, (long)got, "milliseconds");
                    Equal((int)Num(c, "timeBase").Long, value.TimeBase, "time base");
                    Equal((int)Num(c, "timeDigits").Long, value.TimeDigits, "time digits");
                    break;
                }
                Equal(Str(c, "text"), list.ValueText(0), "value text");
            }
        });
    }

    // The vector's value as a user of the binding gives it.
    static object ValueOf(Dictionary<string, object> set)
    {
        if (set.ContainsKey("real")) return Num(set, "real").Double;
        if (set.ContainsKey("integer")) return Num(set, "integer").Long;
        if (set.ContainsKey("boolean")) return (bool)set["boolean"];
        if (set.ContainsKey("string")) return Str(set, "string").Select(ch => (byte)ch).ToArray();  // Latin-1
        return new OrvaValueText(Str(set, "text"));
    }

    static void EveryValueEncodesToItsBytesOrIsRefusedWithItsMessage()
    {
        EveryCase("encode", c => Str(c, "variable") + " " + string.Join(",", ((Dictionary<string, object>)c["set"]).Keys), c =>
        {
            bool roundTimes = c.ContainsKey("options") && ((Dictionary<string, object>)c["options"]).ContainsKey("roundTimes");
            var set = (Dictionary<string, object>)c["set"];
            using (var list = new OrvaVariableList(new[] { Str(c, "variable") }, roundTimes: roundTimes))
            {
                object value = ValueOf(set);
                if (c.ContainsKey("error"))
                {
                    var expected = (Dictionary<string, object>)c["error"];
                    var e = Throws<OrvaVariableException>(() => list.Encode(0, value), "a refused value");
                    Equal(Str(expected, "message"), e.Message, "message");
                    Equal(ResultNamed(Str(expected, "code")), e.Result, "result");
                    Equal(null, list.ValueText(0), "a refused value leaves the variable without one");
                    return;
                }
                Equal(Str(c, "bytes"), Hex(list.Encode(0, value)), "bytes");
                Equal(Str(c, "text"), list.ValueText(0), "text");
                Equal(Str(c, "bytes"), Hex(list.Encode(0, new OrvaValueText(Str(c, "text")))), "the text read back");
                if (set.ContainsKey("string")) Equal(Str(c, "bytes"), Hex(list.Encode(0, Str(set, "string"))), "a string of KC or KS");
            }
        });
    }

    // --- Lists against the simulator -------------------------------------------------

    static void AListReadsEachVariableInItsFormatAndType()
    {
        sim.Write('D', 10, 8, Simulator.FromHex("21270042"));
        sim.Write('D', 10, 12, new byte[] { 0x57, 0xE4, 0x72, 0x00 });
        sim.Write('D', 10, 60, Simulator.FromHex("0462C3EF"));
        sim.Write('M', 0, 20, Simulator.FromHex("FFF9"));
        var texts = new[] { "DB10.DD30:KG", "MW20:KF", "M20.3", "DB10.DW4:KT", "DB10.DW5:KZ", "DB10.DW6:KS4", "MB21:KC", "DB10.DW30" };
        using (var plc = new OrvaConnection(SimAddress))
        {
            IDictionary<string, OrvaValue> values = plc.Read(texts);
            Same(texts, values.Keys, "one entry per text");
            Equal(12.345670700073242, (double)values["DB10.DD30:KG"].Value, "KG");
            Equal(-7L, (long)values["MW20:KF"].Value, "KF");
            Equal(true, (bool)values["M20.3"].Value, "the bit");
            Equal(127000L, (long)values["DB10.DW4:KT"].Value, "KT in milliseconds");
            Equal(2, values["DB10.DW4:KT"].TimeBase, "KT time base");
            Equal(127, values["DB10.DW4:KT"].TimeDigits, "KT digits");
            Equal(OrvaValueKind.Time, values["DB10.DW4:KT"].Kind, "KT kind");
            Equal(42L, (long)values["DB10.DW5:KZ"].Value, "KZ");
            Equal("W\u00e4r\0", (string)values["DB10.DW6:KS4"].Value, "KS, Latin-1");
            Equal("\u00f9", (string)values["MB21:KC"].Value, "KC");
            Equal(0x0462L, (long)values["DB10.DW30"].Value, "unsigned");
        }
        // DB 10 in two calls (DW4..DW7 and DW30..DW31 lie more than the gap apart), and M.
        Equal(3, sim.Call("dts").Count, "telegrams");
    }

    static void EachVariableCarriesItsOwnError()
    {
        sim.Write('D', 10, 12, Simulator.FromHex("0A00"));
        sim.Write('D', 10, 10, Simulator.FromHex("0042"));
        sim.Call("blocksize D 9 0");
        try
        {
            using (var plc = new OrvaConnection(SimAddress))
            {
                IDictionary<string, OrvaValue> values = plc.Read(new[] { "DB9.DW0", "DB10.DW6:KT", "DB10.DW5:KZ" });
                OrvaException missing = values["DB9.DW0"].Error, invalid = values["DB10.DW6:KT"].Error;
                Equal(OrvaResult.ErrPlc, missing.Result, "a missing block");
                Equal("ORVAVarsRead", missing.Function, "function");
                Equal("reading DB9.DW0 at " + SimAddress + " failed: the PLC refused: data block missing, or the range runs " +
                      "past the end of the area (ORVA_ERR_PLC, result 2)", missing.Message, "message");
                Equal(OrvaResult.ErrInvalidBcd, invalid.Result, "a digit above 9");
                Equal("ORVAVARS_ERR_INVALID_BCD", invalid.Name, "name");
                Equal("reading DB10.DW6:KT at " + SimAddress + " failed: invalid value: a BCD digit above 9 " +
                      "(ORVAVARS_ERR_INVALID_BCD, result -120)", invalid.Message, "message");
                var thrown = Throws<OrvaException>(() => { var unused = values["DB10.DW6:KT"].Value; }, "Value of a failed variable");
                Expect(ReferenceEquals(thrown, invalid), "Value to throw the variable's own error");
                Equal(42L, (long)values["DB10.DW5:KZ"].Value, "the others keep their values");
            }
        }
        finally
        {
            sim.Call("blocksize D 9 2048");
        }
    }

    static void ALostConnectionFailsItsCallAndTheRestAreNotTried()
    {
        using (var plc = new OrvaConnection(RefusingAddress))
        {
            IDictionary<string, OrvaValue> values = plc.Read(new[] { "DB1.DW0", "MW0", "T1" });
            OrvaException first = values["DB1.DW0"].Error;
            Equal(OrvaResult.ErrSocket, first.Result, "the call that lost it");
            Equal(SocketError.ConnectionRefused, first.SocketError, "its socket error");
            Equal("reading DB1.DW0 at " + RefusingAddress + " failed: socket error 10061 (WSAECONNREFUSED): connection refused: " +
                  "nothing listens on port 102 at that address (ORVA_ERR_SOCKET, result -7)", first.Message, "message");
            foreach (string rest in new[] { "MW0", "T1" })
                Equal(OrvaResult.ErrNotTried, values[rest].Error.Result, rest);
        }
    }

    static void WritesReachTheAdapterInThePlcsFormats()
    {
        var values = new Dictionary<string, object>
        {
            { "DB10.DD30:KG", -0.005 }, { "MW20:KF", (short)-2 }, { "DB10.DW4:KT", TimeSpan.FromSeconds(1.5) },
            { "DB10.DW5:KZ", 999 }, { "DB10.DW6:KS4", "W\u00e4\\x" }, { "MB24", (byte)255 },
            { "DB10.DW8:KY", new OrvaValueText("18,52") }, { "DB10.DW9:KT", new OrvaValueText("127s") },
            { "DB10.DW10:KS2", new byte[] { 0, 0xFF } }, { "DB10.DD12:DH", 0x12ABCDEFu }, { "MB25:KC", "Z" },
        };
        using (var plc = new OrvaConnection(SimAddress))
        {
            plc.Write(values);
            IDictionary<string, OrvaValue> back = plc.Read(values.Keys);
            Equal(-0.004999999888241291, (double)back["DB10.DD30:KG"].Value, "the worked example's -0.005");
            Equal(1500L, (long)back["DB10.DW4:KT"].Value, "1.5 s");
            Equal("W\u00e4\\x", (string)back["DB10.DW6:KS4"].Value, "a string's characters as they are");
            Equal(0x1234L, (long)back["DB10.DW8:KY"].Value, "KY");
        }
        Same(Simulator.FromHex("F9AE147B"), sim.Read('D', 10, 60, 4), "KG -0.005");
        Same(Simulator.FromHex("FFFE"), sim.Read('M', 0, 20, 2), "KF -2");
        Same(Simulator.FromHex("01500999").Concat(new byte[] { 0x57, 0xE4, 0x5C, 0x78 }), sim.Read('D', 10, 8, 8), "KT, KZ, KS");
        Same(Simulator.FromHex("1234212700FF000012ABCDEF"), sim.Read('D', 10, 16, 12), "KY, KT as typed, KS of bytes, DH");
        Same(new byte[] { 0xFF, (byte)'Z' }, sim.Read('M', 0, 24, 2), "a byte and KC");
    }

    static void BitsAreReadModifyWriteAndNoModifyRefusesThem()
    {
        sim.Write('M', 0, 30, new byte[] { 0xF0, 0, 0, 0 });
        sim.Write('D', 10, 40, Simulator.FromHex("ABCD"));
        using (var plc = new OrvaConnection(SimAddress))
        {
            plc.Write(new Dictionary<string, object> { { "M30.0", true }, { "M30.7", false }, { "DB10.DR20", 0x11 } });
            Same(new byte[] { 0x71 }, sim.Read('M', 0, 30, 1), "the other bits of MB30 kept");
            Same(Simulator.FromHex("AB11"), sim.Read('D', 10, 40, 2), "the left byte of DW20 kept");
            var e = Throws<OrvaException>(() => plc.Write(new Dictionary<string, object> { { "M30.1", true }, { "MW32", 7 } }, noModify: true), "noModify");
            Equal(OrvaResult.ErrModifyRefused, e.Result, "result");
            Equal("writing M30.1 at " + SimAddress + " failed: refused: the write would read the PLC first and write back the rest " +
                  "(ORVAVARS_ERR_MODIFY_REFUSED, result -131)", e.Message, "message");
            Same(new[] { "M30.1" }, e.Errors.Keys, "the variables not written");
        }
        Same(new byte[] { 0x71, 0, 0, 7 }, sim.Read('M', 0, 30, 4), "the word written, the bit not");
    }

    static void InputsAreRefusedByTheLibraryAndTheRestIsWritten()
    {
        using (var plc = new OrvaConnection(SimAddress))
        {
            var e = Throws<OrvaException>(() => plc.Write(new Dictionary<string, object> { { "EW0", 1 } }), "inputs");
            Equal(OrvaResult.ErrArea, e.Result, "result");
            Equal("writing EW0 at " + SimAddress + " failed: area not supported by this function (ORVA_ERR_AREA, result -10)",
                  e.Message, "message, as every binding says it");
            Equal(0, sim.Accepted, "no traffic");
            e = Throws<OrvaException>(() => plc.Write(new Dictionary<string, object> { { "MW40", 0x0102 }, { "IW2", 5 } }), "mixed");
            Same(new[] { "IW2" }, e.Errors.Keys, "only the inputs not written");
        }
        Same(new byte[] { 1, 2 }, sim.Read('M', 0, 40, 2), "the flags written");
    }

    static void TextsAndValuesTheLibraryRefusesThrowBeforeAnyTraffic()
    {
        using (var plc = new OrvaConnection(SimAddress))
        {
            var refusals = new Dictionary<string, Action>
            {
                { "unknown format \"KQ\" at 6; one of KF KH KM KY KC KT KZ KG DH KS", () => plc.Read(new[] { "MW10:KQ" }) },
                { "40000 does not fit MW10:KF (-32768..32767)", () => plc.Write(new Dictionary<string, object> { { "MW10:KF", 40000 } }) },
                { "value \"\u20ac\" for MB0:KS4: the character at 1 is not Latin-1", () => plc.Write(new Dictionary<string, object> { { "MB0:KS4", "\u20ac" } }) },
                { "MW0:KT takes a time in whole milliseconds, not 1500.5", () => plc.Write(new Dictionary<string, object> { { "MW0:KT", TimeSpan.FromTicks(15005000) } }) },
            };
            foreach (var r in refusals)
            {
                var e = Throws<OrvaVariableException>(r.Value, r.Key);
                Equal(r.Key, e.Message, "the library's message, word for word");
                Expect(e is ArgumentException, "an ArgumentException");
            }
            var position = Throws<OrvaVariableException>(() => plc.Read(new[] { "DB5.D3.16" }), "a bit out of range");
            Equal(OrvaResult.ErrOutOfRange, position.Result, "result");
            Equal(8, position.Position, "position");
            Equal("DB5.D3.16", position.Variable, "variable");
            Equal("the value for MW0 must be a bool, an integer, a double, a string, a TimeSpan or a byte[], not Decimal",
                  Throws<ArgumentException>(() => plc.Write(new Dictionary<string, object> { { "MW0", 1.5m } }), "a decimal").Message,
                  "a value of another type");
        }
        Equal(0, sim.Accepted, "no traffic");
    }

    static void AListIsReadAgainAndSharedByThreads()
    {
        var words = Enumerable.Range(0, 200).Select(i => (ushort)(i * 37)).ToArray();
        sim.Write('D', 20, 0, words.SelectMany(w => new[] { (byte)(w >> 8), (byte)w }).ToArray());
        var texts = Enumerable.Range(0, 200).Select(i => "DB20.DW" + i).ToArray();
        int wrong = 0;
        using (var plc = new OrvaConnection(SimAddress))
        using (var list = new OrvaVariableList(texts))
        {
            Equal(1, list.Plan().Calls, "calls");
            Equal(400, list.Plan().Bytes, "bytes");
            var threads = Enumerable.Range(0, 4).Select(t => new Thread(() =>
            {
                for (int round = 0; round < 20; round++)
                {
                    IDictionary<string, OrvaValue> values = plc.Read(list);
                    for (int i = 0; i < texts.Length; i++)
                        if ((long)values[texts[i]].Value != words[i]) Interlocked.Increment(ref wrong);
                }
            })).ToList();
            threads.ForEach(t => t.Start());
            threads.ForEach(t => t.Join());
        }
        Equal(0, wrong, "values read wrong");
        Equal(80, sim.Call("dts").Count, "one telegram per read");
    }

    static int Main(string[] args)
    {
        orvasimProgram = args[0];
        exampleProgram = Path.GetFullPath(args[1]);
        variablesProgram = Path.GetFullPath(args[2]);
        vectors = (Dictionary<string, object>)Json.Parse(File.ReadAllText(args[3], Encoding.UTF8));
        var tests = new List<Action>
        {
            WordsReachTheAdapterBigEndianAndReadBackInEveryArea,
            BytesReachTheAdapterAndReadBackAsBytesAndWords,
            TransfersOf65535ElementsAreSplitAndJoined,
            TheTsapsReachTheConnectionRequestInTheirOrder,
            FaultsOfTheAdapterThrowTheirResultAndTheNextCallRecovers,
            ARefusedConnectGivesConnectionRefusedWithTheMessageInWords,
            TheReceiveTimeOutReachesTheLibraryInItsPlace,
            AreasAFunctionCannotTakeAreRefusedByTheLibraryWithoutTraffic,
            BadArgumentsAreRefusedBeforeAnyCall,
            DisposeClosesTheHandleAndResetsTheConnection,
            TheFinalizerOfAConstructorThatThrewClosesNothing,
            TheSixtyFifthConnectionGetsNoHandle,
            ThreadsSharingOneConnectionEachMoveTheirOwnData,
            TheExampleWritesAndReadsBackEveryAreaItNames,
            TheVariablesExampleWritesAndReadsBackEachValueAndShowsOneThatFails,
            WithoutTheLibraryOneMessageSaysWhatWasSearchedAndHowToFixIt,
            EveryTextParsesAsTheVectorsSay,
            EveryVariablesBytesDecodeToTheirValueAndText,
            EveryValueEncodesToItsBytesOrIsRefusedWithItsMessage,
            AListReadsEachVariableInItsFormatAndType,
            EachVariableCarriesItsOwnError,
            ALostConnectionFailsItsCallAndTheRestAreNotTried,
            WritesReachTheAdapterInThePlcsFormats,
            BitsAreReadModifyWriteAndNoModifyRefusesThem,
            InputsAreRefusedByTheLibraryAndTheRestIsWritten,
            TextsAndValuesTheLibraryRefusesThrowBeforeAnyTraffic,
            AListIsReadAgainAndSharedByThreads,
        };
        int passed = 0, failed = 0;
        using (sim = new Simulator(orvasimProgram, SimAddress))
        {
            foreach (Action test in tests)
            {
                sim.Call("reset");
                var watch = Stopwatch.StartNew();
                try
                {
                    test();
                    passed++;
                    Console.WriteLine("ok   " + test.Method.Name + " (" + watch.ElapsedMilliseconds + " ms)");
                }
                catch (Exception e)
                {
                    failed++;
                    Console.WriteLine("FAIL " + test.Method.Name + ": " + e);
                }
            }
        }
        Console.WriteLine("== dotnet: " + passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
