// SPDX-License-Identifier: Apache-2.0
#include "transfer.h"

#include "notation.h"
#include "orvanet.h"

namespace orva::vars {
namespace {

// One call of a plan, its bytes at data in the PLC's order (words high byte first).
int readCall(int handle, const Call& c, std::uint8_t* data, std::vector<std::uint16_t>& words) {
    const int letter = libraryLetter(c.area);
    if (!c.words) return ORVARdB(handle, letter, c.block, c.start, c.count, data);
    const int result = ORVARdW(handle, letter, c.block, c.start, c.count, words.data());
    if (result == ORVA_OK)
        for (int k = 0; k < c.count; ++k) wire::writeBe16(data + 2 * k, words[static_cast<std::size_t>(k)]);
    return result;
}

int writeCall(int handle, const Call& c, const std::uint8_t* data) {
    const int letter = libraryLetter(c.area);
    if (!c.words) return ORVAWrB(handle, letter, c.block, c.start, c.count, data);
    std::vector<std::uint16_t> words(static_cast<std::size_t>(c.count));
    for (int k = 0; k < c.count; ++k) words[static_cast<std::size_t>(k)] = wire::readBe16(data + 2 * k);
    return ORVAWrW(handle, letter, c.block, c.start, c.count, words.data());
}

int socketErrorOf(int handle, int result) { return result == ORVA_ERR_SOCKET ? ORVAGetSockErr(handle) : 0; }

}  // namespace

bool lostConnection(int result) {
    return result == ORVA_ERR_CONNECT || result == ORVA_ERR_SOCKET || result == ORVA_ERR_HANDLE;
}

int readList(int handle, VarList& list) {
    const ReadPlan& plan = list.plan();
    std::uint8_t* image = list.image().data();
    std::vector<int>& results = list.callResults();
    std::vector<int>& socketErrors = list.callSocketErrors();
    int stopped = ORVA_OK;
    int first = ORVAVARS_OK;
    for (std::size_t k = 0; k < plan.calls.size(); ++k) {
        const Call& c = plan.calls[k];
        results[k] = ORVAVARS_ERR_NOT_TRIED;
        socketErrors[k] = 0;
        if (stopped != ORVA_OK) continue;
        results[k] = readCall(handle, c, image + c.imageAt, list.words());
        socketErrors[k] = socketErrorOf(handle, results[k]);
        if (lostConnection(results[k])) stopped = results[k];
        if (first == ORVAVARS_OK) first = results[k];
    }
    for (int i = 0; i < list.size(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        const auto k = static_cast<std::size_t>(plan.callOf[at]);
        if (results[k] == ORVA_OK)
            list.decode(i, {image + plan.imageAt[at], static_cast<std::size_t>(list.variable(i).byteCount)});
        else
            list.setStatus(i, results[k], socketErrors[k]);
        if (first == ORVAVARS_OK) first = list.current(i).status;
    }
    return first;
}

int writeList(int handle, VarList& list, std::vector<WriteOutcome>& outcomes) {
    const std::vector<Variable>& variables = list.variables();
    outcomes.assign(variables.size(), WriteOutcome{});
    std::vector<WritePiece> pieces;
    for (int i = 0; i < list.size(); ++i) {
        WriteOutcome& o = outcomes[static_cast<std::size_t>(i)];
        if (!list.hasValue(i))
            o.status = ORVAVARS_ERR_NO_VALUE;
        else if (variables[static_cast<std::size_t>(i)].area == AreaCode::inputs)
            o.status = ORVA_ERR_AREA;  // as the library refuses it, without traffic
        else
            pieces.push_back({i, list.encoded(i)});
    }
    std::vector<int> refused;
    const std::vector<WriteRun> runs = planWrite(variables, pieces, list.noModify, refused);
    for (int i : refused) outcomes[static_cast<std::size_t>(i)].status = ORVAVARS_ERR_MODIFY_REFUSED;

    int stopped = ORVA_OK;
    int firstCall = ORVA_OK;
    for (const WriteRun& run : runs) {
        int result = stopped == ORVA_OK ? static_cast<int>(ORVA_OK) : static_cast<int>(ORVAVARS_ERR_NOT_TRIED);
        std::vector<std::uint8_t> data(run.bytes.size());
        if (result == ORVA_OK && run.readFirst) {
            std::vector<std::uint16_t> words(static_cast<std::size_t>(run.read.count));
            result = readCall(handle, run.read, data.data() + (run.read.firstByte - run.write.firstByte), words);
        }
        if (result == ORVA_OK) {
            for (std::size_t b = 0; b < data.size(); ++b)
                data[b] = static_cast<std::uint8_t>((data[b] & ~run.bytes[b].mask) | run.bytes[b].value);
            result = writeCall(handle, run.write, data.data());
        }
        const int socketError = result == ORVAVARS_ERR_NOT_TRIED ? 0 : socketErrorOf(handle, result);
        if (lostConnection(result)) stopped = result;
        if (firstCall == ORVA_OK && result != ORVAVARS_ERR_NOT_TRIED) firstCall = result;
        for (int i : run.variables) outcomes[static_cast<std::size_t>(i)] = WriteOutcome{result, socketError};
    }
    if (firstCall != ORVA_OK) return firstCall;
    for (const WriteOutcome& o : outcomes)
        if (o.status != ORVAVARS_OK) return o.status;
    return ORVAVARS_OK;
}

}  // namespace orva::vars
