// SPDX-License-Identifier: Apache-2.0
// Writes flags, outputs, a data block and counters of one PLC, reads them back
// and compares; then shows how a refused call looks. It overwrites flag bytes
// MB100..MB103, output bytes AB0..AB1, data words DW0..DW3 of DB 5 and counters
// Z 0..Z 1: run it against orvasim or a test PLC.
//
//   mcs -out:ReadWrite.exe examples/csharp/ReadWrite.cs bindings/dotnet/*.cs
//   LD_LIBRARY_PATH=build/test/linklib:build/test/vars mono ReadWrite.exe 127.0.0.1
using System;
using System.Linq;
using Orvanet;

public static class ReadWriteExample
{
    public static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: ReadWrite ADDRESS   (the adapter's IPv4 address)");
            return 64;
        }
        int failures = 0;
        Action<string, bool> check = (name, ok) =>
        {
            Console.WriteLine(name + ": " + (ok ? "ok" : "MISMATCH"));
            if (!ok) failures++;
        };

        try
        {
            using (var plc = new OrvaConnection(args[0]))
            {
                plc.WriteBytes("M", 100, new byte[] { 0x01, 0x80, 0x7F, 0xFF });
                check("flags MB100..MB103", plc.ReadBytes("M", 100, 4).SequenceEqual(new byte[] { 0x01, 0x80, 0x7F, 0xFF }));
                // The same flags as words: each word is two flag bytes, high byte first.
                check("flag words MW100..MW102", plc.ReadWords("M", 100, 2).SequenceEqual(new ushort[] { 0x0180, 0x7FFF }));

                plc.WriteBytes("A", 0, new byte[] { 0x55, 0xAA });
                check("outputs AB0..AB1", plc.ReadBytes("A", 0, 2).SequenceEqual(new byte[] { 0x55, 0xAA }));

                var words = new ushort[] { 0x1234, 0, 0xFFFF, 42 };
                plc.WriteWords("DB5", 0, words);
                check("data block DB 5 DW0..DB 5 DW3", plc.ReadWords("DB5", 0, 4).SequenceEqual(words));

                plc.WriteWords("Z", 0, new ushort[] { 999, 7 });
                check("counters Z 0..Z 1", plc.ReadWords("Z", 0, 2).SequenceEqual(new ushort[] { 999, 7 }));

                // Inputs cannot be written: the library refuses before any traffic.
                try
                {
                    plc.WriteBytes("E", 0, new byte[] { 1 });
                    check("writing inputs refused", false);
                }
                catch (OrvaException e)
                {
                    check("writing inputs refused", e.Result == OrvaResult.ErrArea);
                }
            }
        }
        catch (OrvaException e)
        {
            // For example: writing 4 bytes to MB100..MB103 at 127.0.0.1 failed: socket error 10061 (WSAECONNREFUSED): ...
            Console.Error.WriteLine(e.Message);
            return 2;
        }
        catch (OrvaLibraryNotFoundException e)
        {
            Console.Error.WriteLine(e.Message);
            return 2;
        }

        if (failures > 0)
        {
            Console.WriteLine(failures + " check(s) failed");
            return 1;
        }
        Console.WriteLine("all values read back as written");
        return 0;
    }
}
