// SPDX-License-Identifier: Apache-2.0
#include "plc_link.h"

#include "orvanet.h"

namespace orvapanel {

int OrvanetLink::open(const char* ipAddress, const char* ownTsap, const char* plcTsap, int receiveTimeoutMs,
                      int sendTimeoutMs, int connectTimeoutMs) {
    return ORVAOpen(ipAddress, ownTsap, plcTsap, receiveTimeoutMs, sendTimeoutMs, connectTimeoutMs);
}

int OrvanetLink::close(int handle) { return ORVAClose(handle); }

int OrvanetLink::readBytes(int handle, int areaLetter, int dbNumber, int start, int count, unsigned char* buffer) {
    return ORVARdB(handle, areaLetter, dbNumber, start, count, buffer);
}

int OrvanetLink::readWords(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short* buffer) {
    return ORVARdW(handle, areaLetter, dbNumber, start, count, buffer);
}

int OrvanetLink::socketError(int handle) { return ORVAGetSockErr(handle); }

PlcLink& orvanetLink() {
    static OrvanetLink link;
    return link;
}

}  // namespace orvapanel
