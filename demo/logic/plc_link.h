/* SPDX-License-Identifier: Apache-2.0 */
// The five library calls the panel makes, behind one small interface so that
// tests can watch them on their way to the real library.
#pragma once

namespace orvapanel {

class PlcLink {
public:
    virtual ~PlcLink() = default;
    virtual int open(const char* ipAddress, const char* ownTsap, const char* plcTsap, int receiveTimeoutMs,
                     int sendTimeoutMs, int connectTimeoutMs) = 0;
    virtual int close(int handle) = 0;
    virtual int readBytes(int handle, int areaLetter, int dbNumber, int start, int count, unsigned char* buffer) = 0;
    virtual int readWords(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short* buffer) = 0;
    virtual int socketError(int handle) = 0;
};

// The library itself.
class OrvanetLink : public PlcLink {
public:
    int open(const char* ipAddress, const char* ownTsap, const char* plcTsap, int receiveTimeoutMs, int sendTimeoutMs,
             int connectTimeoutMs) override;
    int close(int handle) override;
    int readBytes(int handle, int areaLetter, int dbNumber, int start, int count, unsigned char* buffer) override;
    int readWords(int handle, int areaLetter, int dbNumber, int start, int count, unsigned short* buffer) override;
    int socketError(int handle) override;
};

PlcLink& orvanetLink();

}  // namespace orvapanel
