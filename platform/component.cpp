#include "platform/component.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/error.h"
#include "platform/storage/settings.h"

namespace platform::com {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// Text as a number the way a conversion to a numeric parameter reads it; 13 when it is none.
double parseNumber(std::string_view text) {
    const std::string s = trimBlanks(text);
    if (s.empty()) raise(13);
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h')) {
        std::uint32_t v = 0;
        auto [p, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (ec != std::errc() || p != s.data() + s.size() || s.size() > 10) raise(13);
        // Up to four digits it is an Integer (&HFFFF = -1), beyond a Long.
        if (s.size() <= 6) return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
        return static_cast<std::int32_t>(v);
    }
    if (sameName(s, "True")) return -1;
    if (sameName(s, "False")) return 0;
    const char* begin = s.c_str();
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || std::isnan(v)) raise(13);
    if (std::isinf(v)) raise(6);
    return v;
}

std::string formatFloat(double v, int digits) {
    if (std::isnan(v)) return "-1.#IND";
    if (std::isinf(v)) return v > 0 ? "1.#INF" : "-1.#INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*G", digits, v);
    std::string s = buf;
    if (s == "-0") s = "0";
    return s;
}

}  // namespace

// ---- Variant ---------------------------------------------------------------------------------

bool Variant::isNumeric() const {
    switch (type()) {
    case VarType::Bool:
    case VarType::Int16:
    case VarType::Int32:
    case VarType::Float:
    case VarType::Double: return true;
    default: return false;
    }
}

std::string Variant::typeName() const {
    switch (type()) {
    case VarType::Empty: return "Empty";
    case VarType::Bool: return "Boolean";
    case VarType::Int16: return "Integer";
    case VarType::Int32: return "Long";
    case VarType::Float: return "Single";
    case VarType::Double: return "Double";
    case VarType::String: return "String";
    case VarType::Int32Array: return "Long()";
    case VarType::Int16ArrayRef: return "Integer()";
    case VarType::FloatArrayRef: return "Single()";
    case VarType::StringArrayRef: return "String()";
    }
    return "Unknown";
}

double Variant::toDouble() const {
    switch (type()) {
    case VarType::Empty: return 0;
    case VarType::Bool: return std::get<bool>(v_) ? -1 : 0;
    case VarType::Int16: return std::get<std::int16_t>(v_);
    case VarType::Int32: return std::get<std::int32_t>(v_);
    case VarType::Float: return std::get<float>(v_);
    case VarType::Double: return std::get<double>(v_);
    case VarType::String: return parseNumber(std::get<std::string>(v_));
    default: raise(13);
    }
}

float Variant::toFloat() const {
    const double d = toDouble();
    if (std::isfinite(d) && std::fabs(d) > 3.402823466e38) raise(6);
    return static_cast<float>(d);
}

std::int32_t Variant::toInt32() const {
    if (type() == VarType::Int32) return std::get<std::int32_t>(v_);
    const double r = std::nearbyint(toDouble());
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) raise(6);
    return static_cast<std::int32_t>(r);
}

std::int16_t Variant::toInt16() const {
    const double r = std::nearbyint(toDouble());
    if (!(r >= -32768.0 && r <= 32767.0)) raise(6);
    return static_cast<std::int16_t>(r);
}

bool Variant::toBool() const {
    if (type() == VarType::Bool) return std::get<bool>(v_);
    return toDouble() != 0;
}

std::string Variant::toString() const {
    switch (type()) {
    case VarType::Empty: return "";
    case VarType::Bool: return std::get<bool>(v_) ? "True" : "False";
    case VarType::Int16: return std::to_string(std::get<std::int16_t>(v_));
    case VarType::Int32: return std::to_string(std::get<std::int32_t>(v_));
    case VarType::Float: return formatFloat(std::get<float>(v_), 7);
    case VarType::Double: return formatFloat(std::get<double>(v_), 15);
    case VarType::String: return std::get<std::string>(v_);
    default: raise(13);
    }
}

const std::vector<std::int32_t>& Variant::int32Array() const {
    if (auto* a = std::get_if<std::vector<std::int32_t>>(&v_)) return *a;
    raise(13);
}

std::vector<std::int16_t>& Variant::int16Ref() const {
    if (auto* r = std::get_if<Ref16>(&v_); r && r->p) return *r->p;
    raise(13);
}

std::vector<float>& Variant::floatRef() const {
    if (auto* r = std::get_if<RefF>(&v_); r && r->p) return *r->p;
    raise(13);
}

std::vector<std::string>& Variant::stringRef() const {
    if (auto* r = std::get_if<RefS>(&v_); r && r->p) return *r->p;
    raise(13);
}

bool Variant::operator==(const Variant& o) const {
    if (isNumeric() && o.isNumeric()) return toDouble() == o.toDouble();
    if (type() != o.type()) return false;
    switch (type()) {
    case VarType::Empty: return true;
    case VarType::String: return std::get<std::string>(v_) == std::get<std::string>(o.v_);
    case VarType::Int32Array: return std::get<std::vector<std::int32_t>>(v_) == std::get<std::vector<std::int32_t>>(o.v_);
    case VarType::Int16ArrayRef: return std::get<Ref16>(v_).p == std::get<Ref16>(o.v_).p;
    case VarType::FloatArrayRef: return std::get<RefF>(v_).p == std::get<RefF>(o.v_).p;
    case VarType::StringArrayRef: return std::get<RefS>(v_).p == std::get<RefS>(o.v_).p;
    default: return false;
    }
}

std::string Variant::serialize() const {
    char buf[64];
    switch (type()) {
    case VarType::Bool: return std::get<bool>(v_) ? "B:1" : "B:0";
    case VarType::Int16: return "I2:" + std::to_string(std::get<std::int16_t>(v_));
    case VarType::Int32: return "I4:" + std::to_string(std::get<std::int32_t>(v_));
    case VarType::Float:
        std::snprintf(buf, sizeof buf, "R4:%.9g", static_cast<double>(std::get<float>(v_)));
        return buf;
    case VarType::Double:
        std::snprintf(buf, sizeof buf, "R8:%.17g", std::get<double>(v_));
        return buf;
    case VarType::String: return "S:" + std::get<std::string>(v_);
    case VarType::Int32Array: {
        std::string s = "A4:";
        const auto& a = std::get<std::vector<std::int32_t>>(v_);
        for (std::size_t i = 0; i < a.size(); ++i) s += (i ? "," : "") + std::to_string(a[i]);
        return s;
    }
    default: return "E:";
    }
}

Variant Variant::deserialize(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return {};
    const std::string_view tag = text.substr(0, colon);
    const std::string body(text.substr(colon + 1));
    auto integer = [&](long long lo, long long hi) -> std::optional<long long> {
        long long v = 0;
        auto [p, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
        if (ec != std::errc() || p != body.data() + body.size() || v < lo || v > hi) return std::nullopt;
        return v;
    };
    auto real = [&]() -> std::optional<double> {
        if (body.empty()) return std::nullopt;
        char* end = nullptr;
        double v = std::strtod(body.c_str(), &end);
        if (*end != '\0') return std::nullopt;
        return v;
    };
    if (tag == "S") return Variant(body);
    if (tag == "B") return body == "1" ? Variant(true) : body == "0" ? Variant(false) : Variant();
    if (tag == "I2") {
        auto v = integer(-32768, 32767);
        return v ? Variant(static_cast<std::int16_t>(*v)) : Variant();
    }
    if (tag == "I4") {
        auto v = integer(-2147483648LL, 2147483647LL);
        return v ? Variant(static_cast<std::int32_t>(*v)) : Variant();
    }
    if (tag == "R4") {
        auto v = real();
        return v ? Variant(static_cast<float>(*v)) : Variant();
    }
    if (tag == "R8") {
        auto v = real();
        return v ? Variant(*v) : Variant();
    }
    if (tag == "A4") {
        std::vector<std::int32_t> a;
        std::size_t pos = 0;
        while (pos < body.size()) {
            std::size_t comma = body.find(',', pos);
            if (comma == std::string::npos) comma = body.size();
            std::int32_t v = 0;
            auto [p, ec] = std::from_chars(body.data() + pos, body.data() + comma, v);
            if (ec != std::errc() || p != body.data() + comma) return {};
            a.push_back(v);
            pos = comma + 1;
        }
        return Variant(std::move(a));
    }
    return {};
}

// ---- Dispatch --------------------------------------------------------------------------------

std::optional<DispId> Dispatch::idOfName(std::string_view name) const {
    for (const auto& m : members())
        if (sameName(m.name, name)) return m.id;
    return std::nullopt;
}

Variant Dispatch::call(DispId id, std::vector<Variant> args) { return invoke(id, InvokeKind::Method, args); }

Variant Dispatch::get(DispId id, std::vector<Variant> args) { return invoke(id, InvokeKind::PropertyGet, args); }

void Dispatch::put(DispId id, Variant value) {
    std::vector<Variant> args{std::move(value)};
    invoke(id, InvokeKind::PropertyPut, args);
}

Variant Dispatch::callByName(std::string_view name, InvokeKind kind, std::vector<Variant> args) {
    auto id = idOfName(name);
    if (!id) raise(438);
    return invoke(*id, kind, args);
}

const MemberInfo& checkCall(const std::vector<MemberInfo>& members, DispId id, InvokeKind kind,
                            const std::vector<Variant>& args) {
    auto it = std::find_if(members.begin(), members.end(), [&](const MemberInfo& m) { return m.id == id; });
    if (it == members.end()) raise(438);
    const auto n = static_cast<int>(args.size());
    switch (kind) {
    case InvokeKind::Method:
    case InvokeKind::PropertyGet:
        // A function may be read like a property and a property read like a function.
        if (!it->method && !it->get) raise(438);
        if (n < it->required || n > it->required + it->optional)
            raise(450, "Wrong number of arguments or invalid property assignment");
        break;
    case InvokeKind::PropertyPut:
        if (!it->put) raise(438);
        if (n != it->required + 1) raise(450, "Wrong number of arguments or invalid property assignment");
        break;
    }
    return *it;
}

void EventHandlers::event(DispId id, std::vector<Variant>& args) {
    auto it = handlers_.find(id);
    if (it != handlers_.end() && it->second) it->second(args);
}

// ---- Property bags ---------------------------------------------------------------------------

Variant MemoryPropertyBag::ReadProperty(const std::string& name, const Variant& def) {
    for (const auto& [n, v] : values_)
        if (sameName(n, name)) return v;
    return def;
}

void MemoryPropertyBag::WriteProperty(const std::string& name, const Variant& value, const Variant& def) {
    auto it = std::find_if(values_.begin(), values_.end(), [&](const auto& p) { return sameName(p.first, name); });
    if (value == def) {
        if (it != values_.end()) values_.erase(it);
        return;
    }
    if (it != values_.end())
        it->second = value;
    else
        values_.emplace_back(name, value);
}

bool MemoryPropertyBag::contains(const std::string& name) const {
    return std::any_of(values_.begin(), values_.end(), [&](const auto& p) { return sameName(p.first, name); });
}

std::vector<std::string> MemoryPropertyBag::names() const {
    std::vector<std::string> out;
    for (const auto& p : values_) out.push_back(p.first);
    return out;
}

void MemoryPropertyBag::clear() { values_.clear(); }

namespace {
const char* const kNamesKey = "~Names";
}

StoredPropertyBag::StoredPropertyBag(std::string app, std::string section)
    : app_(std::move(app)), section_(std::move(section)) {}

std::vector<std::string> StoredPropertyBag::savedNames() const {
    std::vector<std::string> names;
    const std::string list = GetSetting(app_, section_, kNamesKey, "");
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t sep = list.find(';', pos);
        if (sep == std::string::npos) sep = list.size();
        if (sep > pos) names.push_back(list.substr(pos, sep - pos));
        pos = sep + 1;
    }
    return names;
}

bool StoredPropertyBag::exists() const { return !GetSetting(app_, section_, kNamesKey, "").empty(); }

Variant StoredPropertyBag::ReadProperty(const std::string& name, const Variant& def) {
    const auto names = savedNames();
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, name); })) return def;
    const std::string text = GetSetting(app_, section_, name, "");
    Variant v = Variant::deserialize(text);
    return v.isEmpty() && text != "E:" ? def : v;
}

void StoredPropertyBag::beginSave() { SaveSetting(app_, section_, kNamesKey, ";"); }

void StoredPropertyBag::WriteProperty(const std::string& name, const Variant& value, const Variant& def) {
    auto names = savedNames();
    auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, name); });
    if (value == def) {
        if (it == names.end()) return;
        names.erase(it);
    } else {
        SaveSetting(app_, section_, name, value.serialize());
        if (it == names.end()) names.push_back(name);
    }
    std::string list = ";";
    for (const auto& n : names) list += n + ";";
    SaveSetting(app_, section_, kNamesKey, list);
}

// ---- Registration and creation ---------------------------------------------------------------

namespace {

std::mutex g_libMutex;
std::map<std::string, void*>& loadedLibraries() {
    static std::map<std::string, void*> libs;
    return libs;
}
thread_local std::string g_lastCreateError;
// Why the last registration of a class failed, kept for the creation that then finds no class.
thread_local std::string g_lastRegistrationError;

void* openLibrary(const std::string& path) {
    std::lock_guard lock(g_libMutex);
    auto& libs = loadedLibraries();
    if (auto it = libs.find(path); it != libs.end()) return it->second;
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        g_lastCreateError = e ? e : ("cannot open " + path);
        return nullptr;
    }
    libs.emplace(path, h);
    return h;
}

[[noreturn]] void cannotCreate(const std::string& progId, const std::string& reason) {
    g_lastCreateError = reason;
    raise(429, {}, progId);
}

}  // namespace

std::string classKey(const std::string& progId) { return "HKEY_CLASSES_ROOT\\" + progId + "\\"; }

std::string inprocServerKey(const std::string& progId) {
    return "HKEY_CLASSES_ROOT\\" + progId + "\\InprocServer32\\";
}

HRESULT registerClass(const std::string& progId, const std::string& libraryPath) {
    try {
        RegWrite(classKey(progId), progId);
        RegWrite(inprocServerKey(progId), libraryPath);
        g_lastRegistrationError.clear();
        return S_OK;
    } catch (const VbError&) {
        g_lastCreateError = lastStoreFailure();
        g_lastRegistrationError = "registering " + libraryPath + " failed: " + g_lastCreateError;
        return SELFREG_E_CLASS;
    }
}

HRESULT unregisterClass(const std::string& progId) {
    try {
        RegWrite(inprocServerKey(progId), "");
        RegWrite(classKey(progId), "");
        return S_OK;
    } catch (const VbError&) {
        g_lastCreateError = lastStoreFailure();
        return SELFREG_E_CLASS;
    }
}

std::string registeredLibrary(const std::string& progId) {
    try {
        return RegRead(inprocServerKey(progId));
    } catch (const VbError&) {
        return {};
    }
}

std::string modulePathOf(const void* address) {
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname) return {};
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, ec), ec);
    return p.string();
}

std::unique_ptr<ControlObject> createControl(const std::string& progId, forms::Form* hostForm,
                                             const std::string& name, Site* site, PropertyBag* saved,
                                             forms::Control* container) {
    const std::string path = registeredLibrary(progId);
    if (path.empty())
        cannotCreate(progId, "class " + progId + " is not registered" +
                                 (g_lastRegistrationError.empty() ? std::string() : " (" + g_lastRegistrationError + ")"));
    void* lib = openLibrary(path);
    if (!lib) cannotCreate(progId, g_lastCreateError);
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(lib, "DllGetClassObject"));
    if (!getClassObject) cannotCreate(progId, path + " has no DllGetClassObject");
    ClassFactory* factory = nullptr;
    const HRESULT hr = getClassObject(progId.c_str(), &factory);
    if (hr != S_OK || !factory) cannotCreate(progId, path + " does not offer " + progId);
    CreateParams params;
    params.hostForm = hostForm;
    params.name = name;
    params.container = container;
    params.site = site;
    auto control = factory->createInstance(params);
    if (!control) cannotCreate(progId, path + " created no " + progId);
    if (saved)
        control->readProperties(*saved);
    else
        control->initProperties();
    return control;
}

std::string lastCreateError() { return g_lastCreateError; }

HRESULT callRegistrationEntry(const std::string& libraryPath, bool unregister) {
    void* lib = openLibrary(libraryPath);
    if (!lib) return E_FAIL;
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(lib, entry));
    if (!fn) {
        g_lastCreateError = libraryPath + " has no " + entry;
        return E_FAIL;
    }
    return fn();
}

int freeUnusedLibraries() {
    std::lock_guard lock(g_libMutex);
    int closed = 0;
    auto& libs = loadedLibraries();
    for (auto it = libs.begin(); it != libs.end();) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(it->second, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) {
            ::dlclose(it->second);
            it = libs.erase(it);
            ++closed;
        } else {
            ++it;
        }
    }
    return closed;
}

}  // namespace platform::com
