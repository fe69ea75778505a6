// modWMI: WMI values and their rules, the service seam, ConnectWMI/RunQuery,
// and the guarded steps every collector runs under.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "platform/error.h"
#include "platform/text.h"

namespace harvix {

// Null, whole number (WMI integers up to 32 bits) or UTF-8 text
// (strings, 64-bit counts, object references).
class WmiValue {
  public:
    WmiValue() = default;
    WmiValue(std::int32_t n) : v_(n) {}
    WmiValue(std::string s) : v_(std::move(s)) {}
    WmiValue(const char* s) : v_(std::string(s)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool IsNumber() const { return std::holds_alternative<std::int32_t>(v_); }
    bool IsText() const { return std::holds_alternative<std::string>(v_); }
    std::int32_t Number() const { return std::get<std::int32_t>(v_); }
    const std::string& Text() const { return std::get<std::string>(v_); }

    bool operator==(const WmiValue&) const = default;

  private:
    std::variant<std::monostate, std::int32_t, std::string> v_;
};

// One instance of a queried class. Get fails for a property the object lacks.
class WmiObject {
  public:
    virtual ~WmiObject() = default;
    virtual WmiValue Get(const std::string& name) const = 0;
};

// Walked once. Next yields the next object (valid until the following call),
// nullptr at the end, or throws.
class WmiResultSet {
  public:
    virtual ~WmiResultSet() = default;
    virtual const WmiObject* Next() = 0;
};

class WmiServiceBase {
  public:
    virtual ~WmiServiceBase() = default;
    // Errors in the query may surface here or only when the walk starts.
    virtual std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) = 0;
};

using WmiServicePtr = std::shared_ptr<WmiServiceBase>;

// Set once at start-up, used by every collector until the process ends.
extern WmiServicePtr WmiService;

constexpr std::int16_t kQueryFlags = 48;  // return immediately + forward only

// Opens root\cimv2 of the given computer; one implementation per platform.
WmiServicePtr ConnectWMI(const std::string& computerName);

std::unique_ptr<WmiResultSet> RunQuery(const std::string& query, const WmiServicePtr& service,
                                       std::int16_t flags);

// ---- value rules ----

// Text unchanged, whole number as decimal digits; null fails.
std::string ToText(const WmiValue& v);
// Null counts as empty text.
std::string ConcatText(const WmiValue& v);
template <class... Parts>
std::string Concat(const Parts&... parts) {
    return (std::string() + ... + ConcatText(WmiValue(parts)));
}

// A number in the user's locale, blanks around it allowed; fails otherwise.
double ReadNumber(const std::string& text);
// Whole number unchanged, text read as above; null fails.
double ToNumber(const WmiValue& v);
// Null stays null (arithmetic with null gives null).
std::optional<double> ToNumberOrNull(const WmiValue& v);
// Nearest whole number, halves to even; out of range fails.
std::int16_t ToInt16(double x);
std::int32_t ToInt32(double x);
std::int16_t ToInt16(const WmiValue& v);
// Decimal digits of an integral double, minus sign when negative, no decimals.
std::string WholeNumberText(double x);
// Digits preceded by a blank when zero or positive, by a minus when negative; a
// fraction keeps up to 6 decimals. Null stays null.
WmiValue BlankOrMinusNumberText(const WmiValue& v);
// Blanks (U+0020) removed at both ends; null stays null.
WmiValue TrimValue(const WmiValue& v);

// ---- guarded steps ----

// A step that fails is abandoned; execution goes on with the next one.
template <class F>
void Step(F&& f) noexcept {
    try {
        f();
    } catch (const std::exception&) {
    }
}

// The object of a guarded query loop; reading it fails when there is none.
class CurrentObject {
  public:
    explicit CurrentObject(const WmiObject* obj) : obj_(obj) {}
    WmiValue operator[](const std::string& name) const;

  private:
    const WmiObject* obj_;
};

// Guarded query loop: a failed start runs the body once with no object,
// a failed advance ends the loop.
template <class Body>
void ForEachObject(const std::string& wql, Body&& body) noexcept {
    std::unique_ptr<WmiResultSet> results;
    const WmiObject* current = nullptr;
    bool walking = false;
    try {
        results = RunQuery(wql, WmiService, kQueryFlags);
        current = results->Next();
        walking = true;
        if (!current) return;
    } catch (const std::exception&) {
        current = nullptr;
    }
    for (;;) {
        body(CurrentObject(current));
        if (!walking) return;
        try {
            current = results->Next();
        } catch (const std::exception&) {
            return;
        }
        if (!current) return;
    }
}

// Guarded condition: a failing condition runs the then-part; null counts as false.
template <class Cond, class Then, class Else>
void If(Cond&& cond, Then&& thenPart, Else&& elsePart) noexcept {
    bool take = true;
    try {
        std::optional<bool> value = cond();
        take = value.value_or(false);
    } catch (const std::exception&) {
    }
    if (take)
        thenPart();
    else
        elsePart();
}
template <class Cond, class Then>
void If(Cond&& cond, Then&& thenPart) noexcept {
    If(std::forward<Cond>(cond), std::forward<Then>(thenPart), [] {});
}

// Null-aware comparison for conditions: a null operand gives null.
std::optional<bool> LessOrEqual(const WmiValue& v, double limit);

}  // namespace harvix
