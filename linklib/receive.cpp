#include "receive.h"

#include "wire_format.h"

namespace orva {
namespace {

// The rest of a read that began at begin; each receive waits only for the time
// left, so the whole read ends within the limit.
int receiveRest(platform::SocketHandle s, std::uint8_t* destination, int received, int size, std::uint32_t begin,
                std::uint32_t limitMs) {
    for (;;) {
        const std::uint32_t elapsed = platform::tickCount() - begin;
        if (received >= size) return received;
        if (elapsed >= limitMs) {
            platform::setLastError(platform::wsa::eTimedOut);
            return received;
        }
        const int r = platform::receiveOnceWithin(s, destination + received, size - received, limitMs - elapsed);
        if (r <= 0) return received;  // an error, or the peer closed: the rest can never come
        received += r;
    }
}

// An empty data unit without end mark, which a peer may send before a reply.
bool isEmptyDataUnit(const std::uint8_t* header) {
    return header[wire::cotpCodeOffset] == wire::cotpData &&
           header[wire::cotpLengthIndicatorOffset] == wire::dtLengthIndicator &&
           header[wire::dtEotOffset] == wire::dtNoEndOfTsdu;
}

}  // namespace

int receiveWithin(platform::SocketHandle s, std::uint8_t* destination, int size, std::uint32_t limitMs) {
    const std::uint32_t begin = platform::tickCount();
    const int first = platform::receiveOnce(s, destination, size);
    if (first == size || first <= 0) return first;
    return receiveRest(s, destination, first, size, begin, limitMs);
}

int readTransportHeader(platform::SocketHandle s, std::uint8_t* destination, std::uint32_t limitMs) {
    const int size = static_cast<int>(wire::dtHeaderSize);
    const std::uint32_t begin = platform::tickCount();
    int got = receiveWithin(s, destination, size, limitMs);
    while (got == size && isEmptyDataUnit(destination)) {
        const std::uint32_t elapsed = platform::tickCount() - begin;
        if (elapsed >= limitMs) {
            platform::setLastError(platform::wsa::eTimedOut);
            return -1;
        }
        const int first = platform::receiveOnceWithin(s, destination, size, limitMs - elapsed);
        got = first <= 0 ? first : receiveRest(s, destination, first, size, begin, limitMs);
    }
    return got;
}

}  // namespace orva
