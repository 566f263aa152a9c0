// SPDX-License-Identifier: Apache-2.0
'use strict';
// The settings file of a Node-RED that a test starts: its editor on ADDRESS:PORT
// only, nothing that reaches out of the machine, the log at info (where the
// tests read the flows' debug output).
function settingsFile(address, port, userDir) {
  return `module.exports = ${JSON.stringify({
    uiHost: address,
    uiPort: Number(port),
    userDir,
    flowFile: 'flows.json',
    credentialSecret: false,
    editorTheme: { tours: false, projects: { enabled: false } },
    telemetry: { enabled: false, updateNotification: false },
    diagnostics: { enabled: false },
    logging: { console: { level: 'info' } },
  }, null, 2)};\n`;
}

module.exports = { settingsFile };
