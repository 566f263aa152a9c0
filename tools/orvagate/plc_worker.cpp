// SPDX-License-Identifier: Apache-2.0
#include "plc_worker.h"

#include "change_filter.h"
#include "log.h"
#include "orvanet.h"

#include <pthread.h>

#include <stdexcept>

namespace orvagate {
namespace {

using SystemClock = std::chrono::system_clock;

std::string nowText() { return isoTime(SystemClock::now()); }

int milliseconds(Milliseconds m) { return static_cast<int>(m.count()); }

}  // namespace

PlcWorker::PlcWorker(const PlcConfig& plc, const Topics& t) : config(plc), topics(t) {
    for (const GroupConfig& g : config.groups) {
        Group group{g, VariableList{}, {}, {}, {}};
        for (const VariableConfig& v : g.variables) {
            const auto added = group.list.add(v.notation);
            if (const auto* error = std::get_if<NotationError>(&added))
                throw std::invalid_argument(v.notation + ": " + error->message);
            group.variables.push_back(Variable{v.name, 0, std::nullopt});
            if (g.writable) {
                Writable w{v.name, groups.size(), VariableList{}, std::nullopt};
                w.writer.add(v.notation);
                writables.push_back(std::move(w));
            }
        }
        group.list.plan();
        groups.push_back(std::move(group));
    }
}

PlcWorker::~PlcWorker() {
    requestStop();
    if (thread.joinable()) thread.join();
    if (handle >= 0) ORVAClose(handle);
}

std::vector<std::string> PlcWorker::retainedTopics() const {
    std::vector<std::string> out{topics.plcStatus(config.name)};
    for (const Group& g : groups)
        for (const Variable& v : g.variables) out.push_back(topics.value(config.name, v.name));
    return out;
}

void PlcWorker::attach(Outbox& box) {
    outbox = &box;
    statusSlot = box.addSlot(topics.plcStatus(config.name));
    for (Group& g : groups)
        for (Variable& v : g.variables) v.slot = box.addSlot(topics.value(config.name, v.name));
}

void PlcWorker::start() {
    thread = std::thread([this] { run(); });
}

void PlcWorker::requestStop() {
    std::lock_guard lock(mutex);
    stopping = true;
    changed.notify_all();
}

bool PlcWorker::waitFinished(Clock::time_point deadline) {
    std::unique_lock lock(mutex);
    if (!changed.wait_until(lock, deadline, [this] { return finished || !thread.joinable(); })) return false;
    lock.unlock();
    if (thread.joinable()) thread.join();
    return true;
}

std::optional<std::size_t> PlcWorker::writableIndex(std::string_view variable) const {
    for (std::size_t i = 0; i < writables.size(); ++i)
        if (writables[i].name == variable) return i;
    return std::nullopt;
}

PlcWorker::Queued PlcWorker::submit(std::size_t index, PendingWrite w, std::optional<PendingWrite>& replaced) {
    std::lock_guard lock(mutex);
    if (stopping) return Queued::stopped;
    std::optional<PendingWrite>& slot = writables.at(index).pending;
    const bool replacing = slot.has_value();
    if (replacing) replaced = std::move(*slot);
    slot = std::move(w);
    changed.notify_all();
    return replacing ? Queued::replacedOne : Queued::waiting;
}

// The waiting write next in turn, taken out of its slot (under the lock).
PlcWorker::Writable* PlcWorker::nextWrite(PendingWrite& write) {
    for (std::size_t n = 0; n < writables.size(); ++n) {
        Writable& w = writables[(writeTurn + n) % writables.size()];
        if (!w.pending) continue;
        write = std::move(*w.pending);
        w.pending.reset();
        writeTurn = (writeTurn + n + 1) % writables.size();
        return &w;
    }
    return nullptr;
}

bool PlcWorker::openHandle() {
    handle = ORVAOpen(config.address.c_str(), config.ownTsap.c_str(), config.plcTsap.c_str(),
                      milliseconds(config.receiveTimeout), milliseconds(config.sendTimeout),
                      milliseconds(config.connectTimeout));
    if (handle >= 0) return true;
    publishState(PlcState{false, handle, 0, config.address, {}});
    return false;
}

void PlcWorker::publishState(const PlcState& next) {
    if (state && state->connected == next.connected && state->code == next.code &&
        state->socketError == next.socketError)
        return;
    PlcState published = next;
    published.since = nowText();
    if (published.connected)
        logInfo("PLC " + config.name + " (" + config.address + "): connected");
    else
        logWarning("PLC " + config.name + " (" + config.address + "): " + describeStatus(next.code, next.socketError) +
                   "; the next try no sooner than in " + std::to_string(config.retry.count()) + " ms");
    state = published;
    outbox->update(statusSlot, plcStatusPayload(published));
}

void PlcWorker::pollDue() {
    const Clock::time_point roundStart = Clock::now();
    std::optional<CallResult> lost;  // the connection failure of this round
    for (Group& g : groups) {
        if (g.due > roundStart) continue;
        if (lost) {
            // Not tried: the connection failed a moment ago.
            for (Reading& r : g.readings) r = Reading{lost->status, lost->socketError, {}, {}};
            g.readings.resize(g.variables.size(), Reading{lost->status, lost->socketError, {}, {}});
        } else {
            g.list.read(handle, g.readings);
            for (const Reading& r : g.readings)
                if (isConnectionFailure(r.status)) {
                    lost = CallResult{r.status, r.socketError};
                    break;
                }
        }
        const std::string time = nowText();
        for (std::size_t i = 0; i < g.variables.size(); ++i) {
            Variable& v = g.variables[i];
            const Reading& r = g.readings[i];
            if (!shouldPublish(g.config.publish, g.config.deadband, v.published ? &*v.published : nullptr, r)) continue;
            outbox->update(v.slot, valuePayload(r, time));
            v.published = r;
        }
        // The next poll at the interval's pace; one that fell behind starts afresh.
        g.due += g.config.interval;
        if (g.due <= roundStart) g.due = roundStart + g.config.interval;
    }
    if (lost) {
        retryAt = Clock::now() + config.retry;
        publishState(PlcState{false, lost->status, lost->socketError, config.address, {}});
    } else {
        publishState(PlcState{true, 0, 0, config.address, {}});
    }
}

void PlcWorker::carryOut(Writable& w, PendingWrite write) {
    WriteResult result;
    result.valueJson = write.request.valueJson;
    result.idJson = write.request.idJson;
    if (const auto refusal = w.writer.setValue(0, write.request.value)) {
        result.outcome = WriteOutcome::refused;
        result.reason = *refusal;
    } else {
        const CallResult r = w.writer.write(handle);
        if (r.status == 0) {
            result.outcome = WriteOutcome::done;
            // Read it back soon, so that the value topic shows it.
            groups[w.group].due = Clock::now();
        } else {
            result.outcome = WriteOutcome::failed;
            result.code = r.status;
            result.socketError = r.socketError;
            result.reason = describeStatus(r.status, r.socketError);
        }
    }
    const std::string what = "write of " + write.request.valueJson + " to " + config.name + "/" + w.name + ": ";
    if (result.outcome == WriteOutcome::done)
        logDebug(what + "done");
    else
        logWarning(what + std::string(outcomeName(result.outcome)) + ", " + result.reason);
    outbox->post(Message{write.resultTopic, resultPayload(result, nowText()), false, write.correlation});
}

void PlcWorker::run() {
    const std::string threadName = ("plc " + config.name).substr(0, 15);
    pthread_setname_np(pthread_self(), threadName.c_str());
    std::unique_lock lock(mutex);
    for (Group& g : groups) g.due = Clock::now();
    bool justWrote = false;
    while (!stopping) {
        if (handle < 0) {
            lock.unlock();
            const bool opened = openHandle();
            lock.lock();
            if (!opened) changed.wait_for(lock, config.retry, [this] { return stopping; });
            continue;
        }
        const Clock::time_point now = Clock::now();
        Clock::time_point next = Clock::time_point::max();
        for (const Group& g : groups) next = std::min(next, g.due);
        next = std::max(next, retryAt);
        const bool pollDueNow = next <= now;
        // A write goes first, unless polls are due and a write just went:
        // then they alternate, so that no flood of writes holds up the polls.
        if (!(pollDueNow && justWrote)) {
            PendingWrite write;
            if (Writable* w = nextWrite(write)) {
                lock.unlock();
                carryOut(*w, std::move(write));
                lock.lock();
                justWrote = true;
                continue;
            }
        }
        if (pollDueNow) {
            lock.unlock();
            pollDue();
            lock.lock();
            justWrote = false;
            continue;
        }
        const auto woken = [this] {
            if (stopping) return true;
            for (const Writable& w : writables)
                if (w.pending) return true;
            return false;
        };
        if (next == Clock::time_point::max())
            changed.wait(lock, woken);
        else
            changed.wait_until(lock, next, woken);
    }
    finished = true;
    changed.notify_all();
}

}  // namespace orvagate
