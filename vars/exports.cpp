// SPDX-License-Identifier: Apache-2.0
// The C API of orvavars.h: argument checks, and the C structs filled from the
// C++ parts. No exception leaves a function: allocation failures become
// ORVAVARS_ERR_NO_MEMORY.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "messages.h"
#include "notation.h"
#include "orvanet.h"
#include "orvavars.h"
#include "transfer.h"
#include "var_list.h"

struct ORVAVarList {
    orva::vars::VarList list;
};

namespace {

using namespace orva::vars;

void fillError(ORVAVarsError* error, int code, int position, const std::string& message) {
    if (!error) return;
    error->code = code;
    error->position = position;
    std::size_t n = std::min(message.size(), sizeof error->message - 1);
    // A message cut to fit ends on a whole UTF-8 character.
    while (n < message.size() && n > 0 && (static_cast<unsigned char>(message[n]) & 0xC0) == 0x80) --n;
    std::memcpy(error->message, message.data(), n);
    error->message[n] = '\0';
}

void clearError(ORVAVarsError* error) { fillError(error, ORVAVARS_OK, 0, ""); }

int copyText(const std::string& text, char* out, int size) {
    if (out && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return static_cast<int>(text.size());
}

void fillInfo(const Variable& v, ORVAVarInfo* info) {
    info->area = libraryLetter(v.area);
    info->block = v.block;
    info->element = static_cast<int>(v.element);
    info->address = v.address;
    info->bit = v.bit;
    info->format = static_cast<int>(v.format);
    info->length = v.length;
    info->byteOffset = v.byteOffset;
    info->byteCount = v.byteCount;
    copyText(variableText(v), info->text, static_cast<int>(sizeof info->text));
}

void fillResult(const Current& c, ORVAVarResult* r) {
    r->integer = c.value.integer;
    r->real = c.value.real;
    r->text = c.value.kind == Kind::text ? c.value.text.data() : nullptr;
    r->length = c.value.kind == Kind::text ? static_cast<int>(c.value.text.size()) : 0;
    r->kind = static_cast<int>(c.value.kind);
    r->status = c.status;
    r->socketError = c.socketError;
    r->timeBase = c.value.timeBase;
    r->timeDigits = c.value.timeDigits;
}

bool validIndex(const ORVAVarList* list, int index) { return list && index >= 0 && index < list->list.size(); }

// Runs body, turning an allocation failure into ORVAVARS_ERR_NO_MEMORY.
template <typename Body>
int guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ORVAVARS_ERR_NO_MEMORY;
    } catch (...) {
        return ORVAVARS_ERR_ARGUMENT;
    }
}

int setValue(ORVAVarList* list, int index, const Value& value, ORVAVarsError* error) {
    clearError(error);
    if (!validIndex(list, index)) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        std::string message;
        const int status = list->list.setValue(index, value, message);
        if (status != ORVAVARS_OK) fillError(error, status, 0, message);
        return status;
    });
}

}  // namespace

extern "C" {

int ORVAVARS_CALL ORVAVarsParse(const char* text, ORVAVarInfo* info, ORVAVarsError* error) {
    clearError(error);
    if (!text || !info) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        auto parsed = parseVariable(text);
        if (const auto* e = std::get_if<ParseError>(&parsed)) {
            fillError(error, e->code, e->position, e->message);
            return e->code;
        }
        fillInfo(std::get<Variable>(parsed), info);
        return ORVAVARS_OK;
    });
}

const char* ORVAVARS_CALL ORVAVarsResultText(int code) { return resultText(code).data(); }

const char* ORVAVARS_CALL ORVAVarsResultName(int code) { return resultName(code).data(); }

int ORVAVARS_CALL ORVAVarsFailureText(int result, int socketError, char* out, int size) {
    return guarded([&]() -> int { return copyText(failureText(result, socketError), out, size); });
}

ORVAVarList* ORVAVARS_CALL ORVAVarsNewList(void) { return new (std::nothrow) ORVAVarList; }

void ORVAVARS_CALL ORVAVarsFreeList(ORVAVarList* list) { delete list; }

int ORVAVARS_CALL ORVAVarsAdd(ORVAVarList* list, const char* text, ORVAVarsError* error) {
    clearError(error);
    if (!list || !text) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        ParseError e;
        const int index = list->list.add(text, e);
        if (index < 0) fillError(error, index, e.position, e.code == index ? e.message : ORVAVarsResultText(index));
        return index;
    });
}

int ORVAVARS_CALL ORVAVarsCount(const ORVAVarList* list) { return list ? list->list.size() : ORVAVARS_ERR_ARGUMENT; }

int ORVAVARS_CALL ORVAVarsGetInfo(const ORVAVarList* list, int index, ORVAVarInfo* info) {
    if (!validIndex(list, index) || !info) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        fillInfo(list->list.variable(index), info);
        return ORVAVARS_OK;
    });
}

int ORVAVARS_CALL ORVAVarsSetOption(ORVAVarList* list, int option, int value) {
    if (!list) return ORVAVARS_ERR_ARGUMENT;
    switch (option) {
    case ORVAVARS_OPTION_GAP:
        if (value < 0 || value > 65535) return ORVAVARS_ERR_ARGUMENT;
        list->list.setGap(value);
        return ORVAVARS_OK;
    case ORVAVARS_OPTION_ROUND_TIMES:
    case ORVAVARS_OPTION_NO_MODIFY:
        if (value != 0 && value != 1) return ORVAVARS_ERR_ARGUMENT;
        (option == ORVAVARS_OPTION_ROUND_TIMES ? list->list.roundTimes : list->list.noModify) = value == 1;
        return ORVAVARS_OK;
    default: return ORVAVARS_ERR_ARGUMENT;
    }
}

int ORVAVARS_CALL ORVAVarsPlan(ORVAVarList* list, ORVAVarsPlanInfo* info) {
    if (!list) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        const ReadPlan& plan = list->list.plan();
        if (info) {
            info->variables = list->list.size();
            info->calls = static_cast<int>(plan.calls.size());
            info->telegrams = plan.telegrams;
            info->bytes = plan.imageBytes;
        }
        return ORVAVARS_OK;
    });
}

int ORVAVARS_CALL ORVAVarsRead(int handle, ORVAVarList* list, ORVAVarResult* results, int count) {
    if (!list || (results && count != list->list.size()) || (!results && count != 0)) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        const int first = readList(handle, list->list);
        if (results)
            for (int i = 0; i < count; ++i) fillResult(list->list.current(i), &results[i]);
        return first;
    });
}

int ORVAVARS_CALL ORVAVarsSetBoolean(ORVAVarList* list, int index, int value, ORVAVarsError* error) {
    return setValue(list, index, booleanValue(value != 0), error);
}

int ORVAVARS_CALL ORVAVarsSetInteger(ORVAVarList* list, int index, ORVAVarsInt64 value, ORVAVarsError* error) {
    return setValue(list, index, integerValue(value), error);
}

int ORVAVARS_CALL ORVAVarsSetReal(ORVAVarList* list, int index, double value, ORVAVarsError* error) {
    return setValue(list, index, realValue(value), error);
}

int ORVAVARS_CALL ORVAVarsSetString(ORVAVarList* list, int index, const char* latin1, int length,
                                    ORVAVarsError* error) {
    if (!latin1 || length < 0) {
        clearError(error);
        return ORVAVARS_ERR_ARGUMENT;
    }
    Value value;
    value.kind = Kind::text;
    value.text = std::string_view(latin1, static_cast<std::size_t>(length));
    return setValue(list, index, value, error);
}

int ORVAVARS_CALL ORVAVarsSetText(ORVAVarList* list, int index, const char* text, ORVAVarsError* error) {
    clearError(error);
    if (!validIndex(list, index) || !text) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        std::string message;
        const int status = list->list.setText(index, text, message);
        if (status != ORVAVARS_OK) fillError(error, status, 0, message);
        return status;
    });
}

int ORVAVARS_CALL ORVAVarsWrite(int handle, ORVAVarList* list, ORVAVarResult* results, int count) {
    if (!list || (results && count != list->list.size()) || (!results && count != 0)) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        std::vector<WriteOutcome> outcomes;
        const int first = writeList(handle, list->list, outcomes);
        for (int i = 0; results && i < count; ++i) {
            fillResult(list->list.current(i), &results[i]);
            results[i].status = outcomes[static_cast<std::size_t>(i)].status;
            results[i].socketError = outcomes[static_cast<std::size_t>(i)].socketError;
        }
        return first;
    });
}

int ORVAVARS_CALL ORVAVarsValueText(const ORVAVarList* list, int index, char* out, int size) {
    if (!validIndex(list, index) || (!out && size != 0) || size < 0) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        const Current& c = list->list.current(index);
        if (c.value.kind == Kind::none) {
            copyText("", out, size);
            return static_cast<int>(ORVAVARS_ERR_NO_VALUE);
        }
        return copyText(valueText(list->list.variable(index), c.value), out, size);
    });
}

int ORVAVARS_CALL ORVAVarsDecode(ORVAVarList* list, int index, const unsigned char* bytes, int size,
                                 ORVAVarResult* result) {
    if (!validIndex(list, index) || !bytes || !result) return ORVAVARS_ERR_ARGUMENT;
    if (size != list->list.variable(index).byteCount) return ORVAVARS_ERR_ARGUMENT;
    const int status = list->list.decode(index, {bytes, static_cast<std::size_t>(size)});
    fillResult(list->list.current(index), result);
    return status;
}

int ORVAVARS_CALL ORVAVarsEncoded(const ORVAVarList* list, int index, unsigned char* bytes, int size) {
    if (!validIndex(list, index) || !bytes) return ORVAVARS_ERR_ARGUMENT;
    if (!list->list.hasValue(index)) return ORVAVARS_ERR_NO_VALUE;
    const auto encoded = list->list.encoded(index);
    if (size < static_cast<int>(encoded.size())) return ORVAVARS_ERR_ARGUMENT;
    std::memcpy(bytes, encoded.data(), encoded.size());
    return static_cast<int>(encoded.size());
}

int ORVAVARS_CALL ORVAVarsParseArea(const char* text, int* area, int* block, ORVAVarsError* error) {
    clearError(error);
    if (!text || !area || !block) return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        std::string message;
        const auto spelled = readArea(text, message);
        if (!spelled) {
            const int code = message.starts_with("unknown") ? ORVAVARS_ERR_UNKNOWN_AREA : ORVAVARS_ERR_OUT_OF_RANGE;
            fillError(error, code, 1, message);
            return code;
        }
        *area = libraryLetter(spelled->area);
        *block = spelled->block.value_or(-1);
        return static_cast<int>(ORVAVARS_OK);
    });
}

const char* ORVAVARS_CALL ORVAVarsAreaName(int area) { return areaName(orva::wire::areaCodeOf(area)).data(); }

int ORVAVARS_CALL ORVAVarsElementAddress(int area, int block, int words, int start, int index, char* out, int size) {
    const AreaCode code = orva::wire::areaCodeOf(area);
    if (code == AreaCode::none || (!out && size != 0) || size < 0 || (words != 0 && words != 1))
        return ORVAVARS_ERR_ARGUMENT;
    return guarded([&]() -> int {
        return copyText(elementAddress(code, block, words ? Unit::words : Unit::bytes, start, index), out, size);
    });
}

}  // extern "C"
