// SPDX-License-Identifier: Apache-2.0
// The seam over orvavars' C interface.
#include "variable_list.h"

#include "orvanet.h"
#include "orvavars.h"

#include <array>
#include <new>
#include <type_traits>

namespace orvagate {
namespace {

struct ListDeleter {
    void operator()(ORVAVarList* list) const { ORVAVarsFreeList(list); }
};

// The PLC's characters are Latin-1; JSON wants UTF-8.
std::string utf8FromLatin1(const char* bytes, int length) {
    std::string out;
    out.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Value valueOf(const ORVAVarResult& r) {
    Value v;
    switch (r.kind) {
    case ORVAVARS_KIND_BOOLEAN:
        v.kind = Value::Kind::boolean;
        v.integer = r.integer != 0 ? 1 : 0;
        v.real = static_cast<double>(v.integer);
        return v;
    case ORVAVARS_KIND_INTEGER:
    case ORVAVARS_KIND_TIME:
        // A time is carried as its milliseconds, as an integer is.
        v.kind = r.kind == ORVAVARS_KIND_TIME ? Value::Kind::time : Value::Kind::integer;
        v.integer = r.integer;
        v.real = r.real;
        return v;
    case ORVAVARS_KIND_REAL:
        v.kind = Value::Kind::real;
        v.real = r.real;
        return v;
    case ORVAVARS_KIND_TEXT:
        v.kind = Value::Kind::text;
        v.text = utf8FromLatin1(r.text, r.length);
        return v;
    default: return v;
    }
}

}  // namespace

struct VariableList::Impl {
    std::unique_ptr<ORVAVarList, ListDeleter> list{ORVAVarsNewList()};
    std::vector<ORVAVarResult> results;
    std::vector<ORVAVarInfo> infos;

    Impl() {
        if (!list) throw std::bad_alloc();
    }
};

VariableList::VariableList() : impl(std::make_unique<Impl>()) {}
VariableList::~VariableList() = default;
VariableList::VariableList(VariableList&&) noexcept = default;
VariableList& VariableList::operator=(VariableList&&) noexcept = default;

std::variant<int, NotationError> VariableList::add(const std::string& notation) {
    ORVAVarsError error{};
    const int index = ORVAVarsAdd(impl->list.get(), notation.c_str(), &error);
    if (index < 0) return NotationError{error.code != 0 ? error.code : index, error.position, error.message};
    ORVAVarInfo info{};
    ORVAVarsGetInfo(impl->list.get(), index, &info);
    impl->infos.push_back(info);
    impl->results.resize(impl->infos.size());
    return index;
}

int VariableList::size() const { return static_cast<int>(impl->infos.size()); }

std::string VariableList::spelling(int index) const { return impl->infos.at(static_cast<std::size_t>(index)).text; }

bool VariableList::writableArea(int index) const { return impl->infos.at(static_cast<std::size_t>(index)).area != 'E'; }

ListPlan VariableList::plan() {
    ORVAVarsPlanInfo info{};
    ORVAVarsPlan(impl->list.get(), &info);
    return {info.variables, info.calls, info.telegrams, info.bytes};
}

void VariableList::read(int handle, std::vector<Reading>& readings) {
    const int count = size();
    ORVAVarsRead(handle, impl->list.get(), impl->results.data(), count);
    readings.resize(static_cast<std::size_t>(count));
    std::array<char, 256> text{};
    for (int i = 0; i < count; ++i) {
        const ORVAVarResult& r = impl->results[static_cast<std::size_t>(i)];
        Reading& out = readings[static_cast<std::size_t>(i)];
        out.status = r.status;
        out.socketError = r.status == ORVA_ERR_SOCKET ? r.socketError : 0;
        if (r.status == ORVAVARS_OK) {
            out.value = valueOf(r);
            const int length = ORVAVarsValueText(impl->list.get(), i, text.data(), static_cast<int>(text.size()));
            out.display.assign(length >= 0 ? text.data() : "");
        } else {
            out.value = Value{};
            out.display.clear();
        }
    }
}

std::optional<std::string> VariableList::setValue(int index, const WriteValue& value) {
    ORVAVarsError error{};
    ORVAVarList* list = impl->list.get();
    const int status = std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>)
                return ORVAVarsSetBoolean(list, index, v ? 1 : 0, &error);
            else if constexpr (std::is_same_v<T, long long>)
                return ORVAVarsSetInteger(list, index, v, &error);
            else if constexpr (std::is_same_v<T, double>)
                return ORVAVarsSetReal(list, index, v, &error);
            else
                return ORVAVarsSetText(list, index, v.c_str(), &error);
        },
        value);
    if (status == ORVAVARS_OK) return std::nullopt;
    return error.message[0] != '\0' ? std::string(error.message) : std::string(ORVAVarsResultText(status));
}

CallResult VariableList::write(int handle) {
    const int count = size();
    const int status = ORVAVarsWrite(handle, impl->list.get(), impl->results.data(), count);
    CallResult result{status, 0};
    for (const ORVAVarResult& r : impl->results)
        if (r.status == status && status == ORVA_ERR_SOCKET) result.socketError = r.socketError;
    return result;
}

std::string describeStatus(int status, int socketError) {
    std::array<char, 512> text{};
    ORVAVarsFailureText(status, socketError, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::string resultName(int status) { return ORVAVarsResultName(status); }

bool isConnectionFailure(int status) {
    return status == ORVA_ERR_DROPPED || status == ORVA_ERR_CONNECT || status == ORVA_ERR_SOCKET;
}

}  // namespace orvagate
