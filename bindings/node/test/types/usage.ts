// SPDX-License-Identifier: Apache-2.0
// Compiled by test/types.test.js with tsc --strict: what a TypeScript user
// writes must type-check, and the marked mistakes must not.
import { connect, Connection, OrvaError, OrvaLibraryError, Result, parseArea, formatAddress, resultText } from '../..';

async function main(): Promise<number> {
  const plc: Connection = connect('127.0.0.1', { receiveTimeoutMs: 1000, plcTsap: 'TCP-1' });
  const words: Uint16Array = await plc.readWords('DB5', 0, 10);
  const bytes: Buffer = await plc.readBytes('M', 10, 2);
  await plc.writeWords('DB', 3, [0x1234, 42], 5);
  await plc.writeBytes('M', 10, Buffer.from('AB'));
  const topic: string = formatAddress(parseArea('DB5'), 'words', 0);
  try {
    await plc.readWords('DB9', 0, 1);
  } catch (error) {
    if (error instanceof OrvaError && error.code === 'ORVA_ERR_PLC' && error.result === Result.ORVA_ERR_PLC) {
      console.log(error.socketError, error.socketErrorName, resultText(error.result));
    }
    if (error instanceof OrvaLibraryError) console.log(error.message);
  }
  await plc.close();
  // @ts-expect-error words are a Uint16Array, not a Buffer
  const wrong: Buffer = await plc.readWords('DB5', 0, 1);
  // @ts-expect-error there is no option receiveTimeout
  connect('127.0.0.1', { receiveTimeout: 1000 });
  // @ts-expect-error the handle is read-only
  plc.handle = 3;
  // @ts-expect-error a Connection comes from connect()
  new Connection();
  return words.length + bytes.length + topic.length + wrong.length;
}

main();
