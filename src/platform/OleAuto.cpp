#include "platform/OleAuto.h"

#include "platform/OfficeServers.h"
#include "platform/Rtl.h"

#include <cmath>
#include <map>
#include <mutex>
#include <set>

namespace ole {

// ---- OleVariant -------------------------------------------------------------------------

struct OleVariant::ArrayData {
    int rowLow = 0, rows = 0, colLow = 0, cols = 0;
    std::vector<OleVariant> elems;
};

OleVariant::OleVariant(bool v) : v_(v) {}
OleVariant::OleVariant(int v) : v_(int64_t(v)) {}
OleVariant::OleVariant(int64_t v) : v_(v) {}
OleVariant::OleVariant(double v) : v_(v) {}
OleVariant::OleVariant(std::string v) : v_(std::move(v)) {}
OleVariant::OleVariant(const char *v) : v_(std::string(v ? v : "")) {}
OleVariant::OleVariant(DispatchPtr v)
{
    if (v) v_ = std::move(v);
}

OleVariant OleVariant::Null()
{
    OleVariant v;
    v.v_ = NullValue{};
    return v;
}

OleVariant OleVariant::Error(int32_t code)
{
    OleVariant v;
    v.v_ = ErrorValue{code};
    return v;
}

OleVariant OleVariant::Array2D(int rowLow, int rows, int colLow, int cols)
{
    auto a = std::make_shared<ArrayData>();
    a->rowLow = rowLow;
    a->rows = rows < 0 ? 0 : rows;
    a->colLow = colLow;
    a->cols = cols < 0 ? 0 : cols;
    a->elems.resize(size_t(a->rows) * size_t(a->cols));
    OleVariant v;
    v.v_ = std::move(a);
    return v;
}

namespace {
[[noreturn]] void cannotConvert() { throw EOleError("Could not convert variant"); }
}

bool OleVariant::AsBool() const
{
    switch (Type()) {
    case VarType::Empty: return false;
    case VarType::Bool: return std::get<bool>(v_);
    case VarType::Int: return std::get<int64_t>(v_) != 0;
    case VarType::Double: return std::get<double>(v_) != 0;
    case VarType::String: {
        const std::string &s = std::get<std::string>(v_);
        if (Rtl::SameText(s, "true")) return true;
        if (Rtl::SameText(s, "false")) return false;
        int64_t n;
        if (Rtl::TryStrToInt64(s, n)) return n != 0;
        cannotConvert();
    }
    default: cannotConvert();
    }
}

int32_t OleVariant::AsInt() const
{
    switch (Type()) {
    case VarType::Empty: return 0;
    case VarType::Bool: return std::get<bool>(v_) ? -1 : 0;
    case VarType::Int: {
        const int64_t n = std::get<int64_t>(v_);
        if (n < INT32_MIN || n > INT32_MAX) cannotConvert();
        return int32_t(n);
    }
    case VarType::Double: {
        const double d = std::get<double>(v_);
        if (!std::isfinite(d) || d < INT32_MIN || d > INT32_MAX) cannotConvert();
        return int32_t(std::nearbyint(d));
    }
    case VarType::String: {
        int v;
        if (Rtl::TryStrToInt(Rtl::Trim(std::get<std::string>(v_)), v)) return v;
        cannotConvert();
    }
    default: cannotConvert();
    }
}

double OleVariant::AsDouble() const
{
    switch (Type()) {
    case VarType::Empty: return 0;
    case VarType::Bool: return std::get<bool>(v_) ? -1 : 0;
    case VarType::Int: return double(std::get<int64_t>(v_));
    case VarType::Double: return std::get<double>(v_);
    case VarType::String: {
        const std::string t = Rtl::Trim(std::get<std::string>(v_));
        if (t.empty()) cannotConvert();
        char *end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (!end || *end != '\0') cannotConvert();
        return d;
    }
    default: cannotConvert();
    }
}

std::string OleVariant::AsString() const
{
    switch (Type()) {
    case VarType::Empty:
    case VarType::Null: return std::string();
    case VarType::Bool: return std::get<bool>(v_) ? "True" : "False";
    case VarType::Int: return Rtl::IntToStr(std::get<int64_t>(v_));
    case VarType::Double: return Rtl::FloatToStr(std::get<double>(v_));
    case VarType::String: return std::get<std::string>(v_);
    default: cannotConvert();
    }
}

DispatchPtr OleVariant::AsDispatch() const
{
    if (const DispatchPtr *d = std::get_if<DispatchPtr>(&v_)) return *d;
    throw EOleError("Variant does not reference an automation object");
}

int32_t OleVariant::ErrorCode() const
{
    const ErrorValue *e = std::get_if<ErrorValue>(&v_);
    return e ? e->code : 0;
}

int OleVariant::LowBound(int dim) const
{
    const auto *a = std::get_if<std::shared_ptr<ArrayData>>(&v_);
    if (!a || (dim != 1 && dim != 2)) throw EOleError("Variant array bounds error");
    return dim == 1 ? (*a)->rowLow : (*a)->colLow;
}

int OleVariant::HighBound(int dim) const
{
    const auto *a = std::get_if<std::shared_ptr<ArrayData>>(&v_);
    if (!a || (dim != 1 && dim != 2)) throw EOleError("Variant array bounds error");
    return dim == 1 ? (*a)->rowLow + (*a)->rows - 1 : (*a)->colLow + (*a)->cols - 1;
}

OleVariant &OleVariant::At(int row, int col)
{
    // The elements are shared with the copies of this value until it is
    // changed: then it gets elements of its own.
    if (auto *a = std::get_if<std::shared_ptr<ArrayData>>(&v_); a && a->use_count() > 1)
        *a = std::make_shared<ArrayData>(**a);
    return const_cast<OleVariant &>(static_cast<const OleVariant &>(*this).At(row, col));
}

const OleVariant &OleVariant::At(int row, int col) const
{
    const auto *p = std::get_if<std::shared_ptr<ArrayData>>(&v_);
    if (!p) throw EOleError("Variant is not an array");
    const ArrayData &a = **p;
    const int64_t r = int64_t(row) - a.rowLow, c = int64_t(col) - a.colLow;
    if (r < 0 || r >= a.rows || c < 0 || c >= a.cols) throw EOleError("Variant array index out of bounds");
    return a.elems[size_t(r) * size_t(a.cols) + size_t(c)];
}

namespace {
OleVariant invoke(const OleVariant &target, const std::string &member, InvokeKind kind, std::vector<OleArg> args,
                  const OleVariant *value)
{
    DispatchPtr d = target.AsDispatch();
    OleCall call;
    call.Member = member;
    call.Kind = kind;
    call.Args = std::move(args);
    if (value) call.Value = *value;
    return d->Invoke(call);
}
} // namespace

OleVariant OleVariant::Call(const std::string &member) const { return Call(member, {}); }

OleVariant OleVariant::Get(const std::string &member) const { return Get(member, {}); }

void OleVariant::Put(const std::string &member, const OleVariant &value) const { Put(member, value, {}); }

OleVariant OleVariant::Call(const std::string &member, std::vector<OleArg> args) const
{
    return invoke(*this, member, InvokeKind::Method, std::move(args), nullptr);
}

OleVariant OleVariant::Get(const std::string &member, std::vector<OleArg> args) const
{
    return invoke(*this, member, InvokeKind::PropertyGet, std::move(args), nullptr);
}

void OleVariant::Put(const std::string &member, const OleVariant &value, std::vector<OleArg> args) const
{
    invoke(*this, member, InvokeKind::PropertyPut, std::move(args), &value);
}

// ---- calls ----------------------------------------------------------------------------------

const OleVariant *OleCall::Arg(size_t position, const std::string &name) const
{
    for (const OleArg &a : Args)
        if (!a.Name.empty() && Rtl::SameText(a.Name, name)) return &a.Value;
    size_t pos = 0;
    for (const OleArg &a : Args) {
        if (!a.Name.empty()) continue;
        if (pos == position) return &a.Value;
        ++pos;
    }
    return nullptr;
}

bool OleCall::Is(const char *member) const { return Rtl::SameText(Member, member); }

std::string FormatValue(const OleVariant &v)
{
    switch (v.Type()) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Bool: return v.AsBool() ? "True" : "False";
    case VarType::Int: return v.AsString();
    case VarType::Double: return v.AsString();
    case VarType::String: return std::string(1, '"').append(v.AsString()).append(1, '"');
    case VarType::Dispatch: return std::string(1, '<').append(v.AsDispatch()->TypeName()).append(1, '>');
    case VarType::Error: return std::string("Error(").append(Rtl::IntToStr(v.ErrorCode())).append(1, ')');
    case VarType::Array:
        return "Array[" + Rtl::IntToStr(v.LowBound(1)) + ".." + Rtl::IntToStr(v.HighBound(1)) + ", " +
               Rtl::IntToStr(v.LowBound(2)) + ".." + Rtl::IntToStr(v.HighBound(2)) + "]";
    }
    return std::string();
}

std::string FormatCall(const OleCall &call)
{
    std::string s;
    if (call.Kind == InvokeKind::PropertyGet) s = "get ";
    else if (call.Kind == InvokeKind::PropertyPut) s = "put ";
    s += call.Member;
    if (call.Kind != InvokeKind::PropertyPut || !call.Args.empty()) {
        s += "(";
        for (size_t i = 0; i < call.Args.size(); ++i) {
            const OleArg &a = call.Args[i];
            if (i) s += ", ";
            if (!a.Name.empty()) s += a.Name + ":=";
            if (a.ByRef) s += "byref ";
            s += FormatValue(a.Value);
        }
        s += ")";
    }
    if (call.Kind == InvokeKind::PropertyPut) s += " := " + FormatValue(call.Value);
    return s;
}

void IDispatchObject::Unsupported(const OleCall &call)
{
    throw EOleError("Method '" + call.Member + "' not supported by automation object");
}

// ---- registry -----------------------------------------------------------------------------------

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, OleServerFactory> servers;  // by lower-case identifier
    std::set<std::string> unavailable;
};

OleServerFactory builtIn(const std::string &key)
{
    if (key == "word.application") return [] { return NewWordApplication(); };
    if (key == "excel.application") return [] { return NewExcelApplication(); };
    return OleServerFactory();
}

Registry &registry()
{
    static Registry r;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char *id : {"word.application", "excel.application"}) r.servers[id] = builtIn(id);
    });
    return r;
}

std::string key(const std::string &progId) { return Rtl::LowerCase(Rtl::Trim(progId)); }

} // namespace

void RegisterOleServer(const std::string &progId, OleServerFactory factory)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.servers[key(progId)] = std::move(factory);
}

void ResetOleServer(const std::string &progId)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    const std::string k = key(progId);
    OleServerFactory f = builtIn(k);
    if (f) r.servers[k] = std::move(f);
    else r.servers.erase(k);
    r.unavailable.erase(k);
}

OleServerFactory OleServer(const std::string &progId)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.servers.find(key(progId));
    return it == r.servers.end() ? OleServerFactory() : it->second;
}

void SetOleServerAvailable(const std::string &progId, bool available)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (available) r.unavailable.erase(key(progId));
    else r.unavailable.insert(key(progId));
}

OleVariant CreateOleObject(const std::string &progId)
{
    OleServerFactory f;
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        const std::string k = key(progId);
        auto it = r.servers.find(k);
        if (it != r.servers.end() && !r.unavailable.count(k)) f = it->second;
    }
    if (!f) throw EOleSysError("Invalid class string");
    DispatchPtr d = f();
    if (!d) throw EOleSysError("Invalid class string");
    return OleVariant(d);
}

// ---- recording ------------------------------------------------------------------------------------

namespace {

class Recorder : public IDispatchObject {
public:
    Recorder(DispatchPtr inner, std::shared_ptr<std::vector<std::string>> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    std::string TypeName() const override { return inner_->TypeName(); }
    OleVariant Invoke(const OleCall &call) override
    {
        log_->push_back(FormatCall(call));
        OleCall forwarded = call;
        for (OleArg &a : forwarded.Args) a.Value = unwrap(a.Value);
        forwarded.Value = unwrap(forwarded.Value);
        OleVariant result = inner_->Invoke(forwarded);
        if (result.IsDispatch()) return OleVariant(DispatchPtr(std::make_shared<Recorder>(result.AsDispatch(), log_)));
        return result;
    }
    static OleVariant unwrap(const OleVariant &v)
    {
        if (!v.IsDispatch()) return v;
        if (auto *r = dynamic_cast<Recorder *>(v.AsDispatch().get())) return OleVariant(r->inner_);
        return v;
    }

private:
    DispatchPtr inner_;
    std::shared_ptr<std::vector<std::string>> log_;
};

} // namespace

DispatchPtr RecordCalls(DispatchPtr inner, std::shared_ptr<std::vector<std::string>> log)
{
    return std::make_shared<Recorder>(std::move(inner), std::move(log));
}

} // namespace ole
