#pragma once
// Late-bound automation: objects reached by member name only.
//
// An automation server is created from its program identifier
// ("word.application", "excel.application") and answers calls by member
// name: a method call, a property read or a property write, with positional
// arguments followed by named ones. Values travel in OleVariant.
//
// Servers live in a process-wide registry by program identifier (case
// insensitive). The built-in in-process servers write real office files
// (OfficeServers.h); tests may replace a server, mark one as not installed,
// or wrap a server so that every call is recorded as a line of text.
#include "platform/SysUtils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// Failures of the automation layer: unknown members, wrong arguments.
MIXDECK_EXCEPTION(EOleError, Exception);
// A server that cannot be created (not installed, unknown identifier).
MIXDECK_EXCEPTION(EOleSysError, EOleError);
// An error a server reported to a call (file not saved, bad address, ...).
MIXDECK_EXCEPTION(EOleException, EOleError);

namespace ole {

class IDispatchObject;
using DispatchPtr = std::shared_ptr<IDispatchObject>;

enum class VarType { Empty, Null, Bool, Int, Double, String, Dispatch, Array, Error };

struct OleArg;

class OleVariant {
public:
    OleVariant() = default;
    OleVariant(bool v);
    OleVariant(int v);
    OleVariant(int64_t v);
    OleVariant(double v);
    OleVariant(std::string v);
    OleVariant(const char *v);
    OleVariant(DispatchPtr v);

    static OleVariant Null();
    // An error value (a cell holding #DIV/0!, for instance).
    static OleVariant Error(int32_t code);
    // A two-dimensional array [rowLow .. rowLow+rows-1, colLow .. colLow+cols-1]
    // of empty values.
    static OleVariant Array2D(int rowLow, int rows, int colLow, int cols);

    VarType Type() const { return VarType(v_.index()); }
    bool IsEmpty() const { return Type() == VarType::Empty; }
    bool IsArray() const { return Type() == VarType::Array; }
    bool IsDispatch() const { return Type() == VarType::Dispatch; }

    // Conversions; EOleError "Could not convert variant" when impossible.
    bool AsBool() const;
    int32_t AsInt() const;
    double AsDouble() const;
    // The class library's variant-to-text conversion: empty and null give "",
    // numbers their shortest decimal form, Booleans "True"/"False".
    std::string AsString() const;
    DispatchPtr AsDispatch() const;
    int32_t ErrorCode() const;
    // The text of a String value without a copy; nullptr for other types.
    const std::string *Text() const { return std::get_if<std::string>(&v_); }

    // Arrays (two dimensions; dim 1 rows, dim 2 columns). An array is a
    // value like any other: a copy is a copy of every element, made only
    // when one of the two is changed, so that handing a big array to a call
    // costs nothing.
    int LowBound(int dim) const;
    int HighBound(int dim) const;
    // EOleError "Variant array index out of bounds" outside the bounds.
    OleVariant &At(int row, int col);
    const OleVariant &At(int row, int col) const;

    // Calls on a dispatch value. (Overloads rather than default arguments:
    // OleArg is still incomplete here.)
    OleVariant Call(const std::string &member) const;
    OleVariant Call(const std::string &member, std::vector<OleArg> args) const;
    OleVariant Get(const std::string &member) const;
    OleVariant Get(const std::string &member, std::vector<OleArg> args) const;
    void Put(const std::string &member, const OleVariant &value) const;
    void Put(const std::string &member, const OleVariant &value, std::vector<OleArg> args) const;

private:
    struct NullValue {};
    struct ErrorValue {
        int32_t code;
    };
    struct ArrayData;
    // One alternative a type, in the order of VarType.
    std::variant<std::monostate, NullValue, bool, int64_t, double, std::string, DispatchPtr,
                 std::shared_ptr<ArrayData>, ErrorValue>
        v_;
};

// One argument: positional when Name is empty, else named. ByRef marks a
// value handed over by reference.
struct OleArg {
    OleArg(OleVariant v) : Value(std::move(v)) {}
    OleArg(bool v) : Value(v) {}
    OleArg(int v) : Value(v) {}
    OleArg(const char *v) : Value(v) {}
    OleArg(std::string v) : Value(std::move(v)) {}
    OleArg(std::string name, OleVariant v) : Name(std::move(name)), Value(std::move(v)) {}
    static OleArg Ref(OleVariant v)
    {
        OleArg a(std::move(v));
        a.ByRef = true;
        return a;
    }
    std::string Name;
    OleVariant Value;
    bool ByRef = false;
};

// A named argument: Named("row", 1).
inline OleArg Named(std::string name, OleVariant v) { return OleArg(std::move(name), std::move(v)); }

enum class InvokeKind { Method, PropertyGet, PropertyPut };

struct OleCall {
    std::string Member;
    InvokeKind Kind = InvokeKind::Method;
    std::vector<OleArg> Args;
    OleVariant Value;  // the value of a property write

    // Positional argument i (0-based) or the named one (case-insensitive);
    // nullptr when not given.
    const OleVariant *Arg(size_t position, const std::string &name) const;
    bool Is(const char *member) const;  // case-insensitive member name
};

// A line describing a call: 'Cell(row:=1, column:=2)', 'get Range("A1:C2")',
// 'put Alignment := 1', 'Add(byref <Range>, numrows:=2, numcolumns:=3)'.
std::string FormatCall(const OleCall &call);
std::string FormatValue(const OleVariant &v);

class IDispatchObject : public std::enable_shared_from_this<IDispatchObject> {
public:
    virtual ~IDispatchObject() = default;
    // Type name as shown in error messages and recorded calls.
    virtual std::string TypeName() const = 0;
    virtual OleVariant Invoke(const OleCall &call) = 0;

protected:
    // EOleError "Method 'X' not supported by automation object".
    [[noreturn]] static void Unsupported(const OleCall &call);
};

using OleServerFactory = std::function<DispatchPtr()>;

// Registers (or replaces) the server of a program identifier.
void RegisterOleServer(const std::string &progId, OleServerFactory factory);
// Back to the built-in server (or none) of the identifier.
void ResetOleServer(const std::string &progId);
// The registered factory, or an empty function.
OleServerFactory OleServer(const std::string &progId);
// Marks a server as not installed: creating it fails as for an unknown one.
void SetOleServerAvailable(const std::string &progId, bool available);

// Creates the application object of a server; EOleSysError "Invalid class
// string" when no such server is available.
OleVariant CreateOleObject(const std::string &progId);

// Wraps a server so that every call on it and on every object reached from
// it appends FormatCall of the call to the log.
DispatchPtr RecordCalls(DispatchPtr inner, std::shared_ptr<std::vector<std::string>> log);

} // namespace ole
