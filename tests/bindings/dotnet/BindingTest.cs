// SPDX-License-Identifier: Apache-2.0
// The .NET binding end to end: OrvaConnection and the P/Invoke declarations
// against an orvasim that this program starts on 127.0.1.30 and drives
// through its control channel (127.0.1.39: nothing listens). Prints one line
// per test and "== dotnet: N passed, M failed"; exits 1 on any failure.
//
//   mono BindingTest.exe ORVASIM READWRITE_EXE
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net.Sockets;
using System.Threading;
using Orvanet;

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
    static string orvasimProgram, exampleProgram;

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
                string start = (c.Item3 ? "writing 2 bytes to MB0..MB1" : "reading 2 bytes from MB0..MB1") + " at " + SimAddress +
                               " failed: " + OrvaTexts.ResultName((int)c.Item4) + " (" + (int)c.Item4 + "), " +
                               OrvaTexts.ResultText((int)c.Item4);
                Expect(e.Message.StartsWith(start), "the message of " + c.Item2 + " to start with " + start + ": " + e.Message);
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
            Equal("writing 2 words to DB 5 DW3..DB 5 DW4 at " + RefusingAddress + " failed: ORVA_ERR_SOCKET (-7), " +
                  "socket error: ORVAGetSockErr tells which; socket error 10061 WSAECONNREFUSED: " +
                  "connection refused: nothing listens on port 102 at that address", e.Message, "message");
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
            Expect(e.Message.StartsWith("writing 1 byte to EB0 at " + SimAddress + " failed: ORVA_ERR_AREA (-10)"), e.Message);
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
                { "unknown area 'Q'", () => plc.ReadWords("Q", 0, 1) },
                { "block number 256 is out of range (0..255)", () => plc.ReadWords("DB256", 0, 1) },
                { "data blocks (DB) need a block number", () => plc.ReadWords("DB", 0, 1) },
                { "which has no block number", () => plc.ReadWords("M", 0, 1, 5) },
                { "area 'DB5' names block 5, but db is 6", () => plc.ReadWords("DB5", 0, 1, 6) },
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
        int handle = plc.Handle;
        plc.ReadBytes("M", 0, 1);
        plc.Dispose();
        plc.Dispose();
        Same(new[] { "reset" }, sim.WaitForEnds(1), "how the adapter saw the connection end");
        Equal(-1, plc.Handle, "the handle once disposed");
        Equal((int)OrvaResult.ErrHandle, OrvaNative.ORVAGetSockErr(handle), "ORVAGetSockErr of the closed handle");
        Throws<ObjectDisposedException>(() => plc.ReadWords("Z", 0, 1), "a call after Dispose");
        Throws<ObjectDisposedException>(() => { var unused = plc.SocketError; }, "SocketError after Dispose");
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
            Equal("opening a handle for " + SimAddress + " failed: ORVA_ERR_NO_FREE_HANDLE (-2), all 64 handles are in use", e.Message, "message");
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

    static string RunExample(string address, bool withLibrary, out int status)
    {
        var start = new ProcessStartInfo("mono", "\"" + exampleProgram + "\" " + address)
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
        };
        if (!withLibrary) start.EnvironmentVariables.Remove("LD_LIBRARY_PATH");
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
        string output = RunExample(SimAddress, true, out status);
        Equal(0, status, "exit status of: " + output);
        Expect(output.EndsWith("all values read back as written\n"), "the closing line in: " + output);
        Same(new byte[] { 0x01, 0x80, 0x7F, 0xFF }, sim.Read('M', 0, 100, 4), "flags in the adapter");
        output = RunExample(RefusingAddress, true, out status);
        Equal(2, status, "exit status with nothing listening");
        Expect(output.Contains("ORVA_ERR_SOCKET (-7)") && output.Contains("10061 WSAECONNREFUSED"), output);
    }

    static void WithoutTheLibraryOneMessageSaysWhatWasSearchedAndHowToFixIt()
    {
        int status;
        string output = RunExample(SimAddress, false, out status);
        Equal(2, status, "exit status of: " + output);
        Expect(output.StartsWith("orvanet: cannot load the native library liborvanet.so (DllNotFoundException: "), output);
        Expect(output.Contains("LD_LIBRARY_PATH (not set)") && output.Contains("This process is 64-bit") &&
               output.Contains("install the liborvanet-dev package"), output);
        Expect(!output.Contains("   at "), "no stack trace in: " + output);
    }

    static int Main(string[] args)
    {
        orvasimProgram = args[0];
        exampleProgram = Path.GetFullPath(args[1]);
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
            WithoutTheLibraryOneMessageSaysWhatWasSearchedAndHowToFixIt,
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
