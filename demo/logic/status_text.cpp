// SPDX-License-Identifier: Apache-2.0
#include "status_text.h"

#include "orvanet.h"

namespace orvapanel {

std::string statusText(int result, int socketError) {
    // The spellings are those users know from the panel; they stay as they are.
    switch (result) {
    case ORVA_OK: return "Aktion erfolgreich. / Action was successfull!";
    case ORVA_ERR_PLC: return "Datenbereich in der SPS zu klein. / Data area in PLC too small!";
    case ORVA_ERR_DROPPED: return "Zeitüberlauf! / Timeout!";
    case ORVA_ERR_CONNECT:
        return "Datenfehler auf Netzwerk, KELVAN hat zu wenig Daten erhalten! / "
               "Data error on network KELVAN didn't receive all data!";
    case ORVA_ERR_SOCKET: {
        const std::string n = std::to_string(socketError);
        return "Socketfehler Nr: " + n + " aufgetreten. / Socket error no:" + n + " occurred!";
    }
    case ORVA_ERR_AREA: return "Datentyp oder Format wird nicht unterstützt! / Data type or data format not supported!";
    default: return "Unbekannter Fehler aufgetreten. / Unknown error occured! (" + std::to_string(result) + ")";
    }
}

bool showsMessageBox(int result) { return result != ORVA_OK; }

bool needsSocketError(int result) { return result == ORVA_ERR_SOCKET; }

}  // namespace orvapanel
