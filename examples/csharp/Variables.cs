// SPDX-License-Identifier: Apache-2.0
// Writes a list of typed variables to one PLC, reads them back as values and
// prints each one; then shows how a variable that fails looks beside the
// others. It overwrites DW4, DW5, DW7, DW30, DW31 and DW40..DW43 of DB 10 and
// flag bit M20.3: run it against orvasim or a test PLC.
//
//   mcs -out:Variables.exe examples/csharp/Variables.cs bindings/dotnet/*.cs
//   LD_LIBRARY_PATH=build/test/linklib:build/test/vars mono Variables.exe 127.0.0.1
using System;
using System.Collections.Generic;
using System.Globalization;
using Orvanet;

public static class VariablesExample
{
    public static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: Variables ADDRESS   (the adapter's IPv4 address)");
            return 64;
        }
        // Each variable and the value written to it, in its .NET type.
        var values = new Dictionary<string, object>
        {
            { "DB10.DD30:KG", 12.34567 },      // a set point, S5 floating point
            { "DB10.DW4:KT", 1500 },           // a timer constant: 1.5 s, in milliseconds
            { "DB10.DW5:KZ", 123 },            // a count value, three BCD digits
            { "DB10.DW7:KF", -7 },             // a signed word
            { "M20.3", true },                 // a flag bit: the rest of MB20 is read and written back
            { "DB10.DW40:KS8", "orvanet" },    // eight characters, padded with a blank
        };
        int failures = 0;
        try
        {
            using (var plc = new OrvaConnection(args[0]))
            {
                plc.Write(values);
                foreach (KeyValuePair<string, OrvaValue> read in plc.Read(values.Keys))
                {
                    if (!read.Value.Succeeded)
                    {
                        Console.WriteLine(read.Key + ": " + read.Value.Error.Message);
                        failures++;
                        continue;
                    }
                    object value = read.Value.Value;
                    Console.WriteLine(read.Key + " = " + Convert.ToString(value, CultureInfo.InvariantCulture) +
                                      " (" + read.Value.Kind + ")");
                    object written = values[read.Key];
                    bool same = written is double ? Math.Abs((double)value - (double)written) < 1e-6
                              : written is string ? ((string)value).TrimEnd() == (string)written
                              : Convert.ToString(value, CultureInfo.InvariantCulture) == Convert.ToString(written, CultureInfo.InvariantCulture);
                    if (!same) failures++;
                }

                // Each variable carries its own result: a missing block fails alone.
                foreach (KeyValuePair<string, OrvaValue> read in plc.Read(new[] { "DB10.DW5:KZ", "DB255.DW65535" }))
                    Console.WriteLine(read.Key + ": " + read.Value);
            }
        }
        catch (OrvaException e)
        {
            // For example: writing DB10.DW4:KT at 127.0.0.1 failed: socket error 10061 (WSAECONNREFUSED): ...
            Console.Error.WriteLine(e.Message);
            return 2;
        }
        catch (OrvaLibraryNotFoundException e)
        {
            Console.Error.WriteLine(e.Message);
            return 2;
        }
        Console.WriteLine(failures == 0 ? "all variables read back as written" : failures + " variable(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
