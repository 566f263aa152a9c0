// SPDX-License-Identifier: Apache-2.0
// Compiled by test/types.test.js with tsc --strict: what a TypeScript user
// writes must type-check, and the marked mistakes must not.
import {
  connect, Connection, VarList, OrvaError, OrvaLibraryError, Result, parseArea, formatAddress, resultText, parseVariable,
  decodeVariable, encodeVariable, typed, Values, Value, VariableResult, libraryPath, varsLibraryPath,
} from '../..';

async function main(): Promise<number> {
  const plc: Connection = connect('127.0.0.1', { receiveTimeoutMs: 1000, plcTsap: 'TCP-1' });
  const words: Uint16Array = await plc.readWords('DB5', 0, 10);
  const bytes: Buffer = await plc.readBytes('M', 10, 2);
  await plc.writeWords('DB', 3, [0x1234, 42], 5);
  await plc.writeBytes('M', 10, Buffer.from('AB'));
  const topic: string = formatAddress('DB5', 'words', 3, 0) + formatAddress(parseArea('M'), 'bytes', 10);

  const values: Values = await plc.read(['DB10.DD30:KG', 'M20.3'], { gap: 64 });
  const setpoint: Value | OrvaError = values['DB10.DD30:KG'];
  if (setpoint instanceof OrvaError) console.log(setpoint.code, setpoint.socketErrorName);
  else if (typeof setpoint === 'number') console.log(setpoint.toFixed(2));
  const list: VarList = plc.list(['DB10.DW4:KT']);
  const results: VariableResult[] = await list.readResults();
  console.log(list.plan.calls, list.variables[0], results[0].timeBase, (await list.read())['DB10.DW4:KT']);
  await plc.write({ 'DB10.DD30:KG': 12.5, 'M20.3': true, 'DB10.DW4:KT': '1.5s', 'MD0:DH': 0xDEADBEEFn, 'MW0': typed('real', 2) },
    { noModify: true });
  await plc.write(new Map([['MW0', 1]]));

  const info = parseVariable('DB10.DD30:KG');
  const decoded = decodeVariable('MD0:KG', Buffer.from('0462C3EF', 'hex'));
  const encoded: Buffer = encodeVariable('MW0:KT', typed('text', '1.5s'), { roundTimes: true }).bytes;
  console.log(info.format, info.byteCount, decoded.value, decoded.text, encoded.length, libraryPath(), varsLibraryPath());
  try {
    await plc.readWords('DB9', 0, 1);
  } catch (error) {
    if (error instanceof OrvaError && error.code === 'ORVA_ERR_PLC' && error.result === Result.ORVA_ERR_PLC) {
      console.log(error.socketError, error.socketErrorName, resultText(error.result), error.errors);
    }
    if (error instanceof OrvaLibraryError) console.log(error.message);
  }
  const handle: number | null = plc.handle;
  await plc.close();
  // @ts-expect-error words are a Uint16Array, not a Buffer
  const wrong: Buffer = await plc.readWords('DB5', 0, 1);
  // @ts-expect-error there is no option receiveTimeout
  connect('127.0.0.1', { receiveTimeout: 1000 });
  // @ts-expect-error the handle is read-only
  plc.handle = 3;
  // @ts-expect-error a Connection comes from connect()
  new Connection();
  // @ts-expect-error a VarList comes from connection.list()
  new VarList();
  // @ts-expect-error the variables are an array of texts
  await plc.read('DB10.DD30:KG');
  // @ts-expect-error a value to write is no object
  await plc.write({ MW0: { value: 1 } });
  // @ts-expect-error a real is a number
  typed('real', '1.5');
  // @ts-expect-error unit is 'bytes' or 'words'
  formatAddress('DB5', 'word', 3);
  return words.length + bytes.length + topic.length + wrong.length + (handle ?? 0);
}

main();
