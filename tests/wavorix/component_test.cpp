// The component layer between a host and a control library: values, late binding, property
// bags, registration and creation by class identity.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "platform/component.h"
#include "platform/storage/settings.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;
using platform::com::MemoryPropertyBag;
using platform::com::VarType;

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

TEST(VariantTest, ConversionsRoundHalfToEvenAndCheckRanges) {
    EXPECT_EQ(Variant(2.5).toInt32(), 2);
    EXPECT_EQ(Variant(3.5f).toInt32(), 4);
    EXPECT_EQ(Variant(-2.5).toInt16(), -2);
    EXPECT_EQ(Variant(true).toInt32(), -1);
    EXPECT_EQ(Variant().toInt32(), 0);
    EXPECT_EQ(Variant(" 42 ").toInt32(), 42);
    EXPECT_EQ(Variant("&HFFFF").toInt32(), -1);
    EXPECT_EQ(Variant("1E3").toDouble(), 1000.0);
    EXPECT_EQ(errorOf([] { Variant(40000).toInt16(); }), 6);
    EXPECT_EQ(errorOf([] { Variant(3e9).toInt32(); }), 6);
    EXPECT_EQ(errorOf([] { Variant(1e39).toFloat(); }), 6);
    EXPECT_EQ(errorOf([] { Variant("12abc").toInt32(); }), 13);
    EXPECT_EQ(errorOf([] { Variant("").toDouble(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(std::vector<std::int32_t>{1}).toInt32(); }), 13);
    EXPECT_EQ(errorOf([] { Variant(5).int16Ref(); }), 13);
    EXPECT_TRUE(Variant("true").toBool());
    EXPECT_FALSE(Variant(0.0).toBool());
    EXPECT_EQ(Variant(3.0f).toString(), "3");
    EXPECT_EQ(Variant(0.1f).toString(), "0.1");
    EXPECT_EQ(Variant(1e15).toString(), "1E+15");
    EXPECT_EQ(Variant(false).toString(), "False");
    EXPECT_EQ(Variant(std::int16_t{7}).typeName(), "Integer");
}

TEST(VariantTest, EqualityAndStoredTextRoundTrip) {
    EXPECT_EQ(Variant(std::int16_t{5}), Variant(5.0));
    EXPECT_FALSE(Variant("5") == Variant(5));
    std::vector<float> a, b;
    EXPECT_EQ(Variant::byRef(a), Variant::byRef(a));
    EXPECT_FALSE(Variant::byRef(a) == Variant::byRef(b));
    for (const Variant& v : {Variant(), Variant(true), Variant(std::int16_t{-3}), Variant(-70000), Variant(3.1f),
                             Variant(0.1), Variant("a:b;c"), Variant(std::vector<std::int32_t>{1, -2, 3})}) {
        const Variant back = Variant::deserialize(v.serialize());
        EXPECT_EQ(back.type(), v.type()) << v.serialize();
        EXPECT_EQ(back, v) << v.serialize();
    }
    EXPECT_EQ(Variant(0.1f).serialize(), "R4:0.100000001");
    EXPECT_TRUE(Variant::deserialize("I2:99999").isEmpty());
    EXPECT_TRUE(Variant::deserialize("garbage").isEmpty());
}

TEST(PropertyBagTest, WritingTheDefaultLeavesNothingSaved) {
    MemoryPropertyBag bag;
    bag.WriteProperty("SpS", Variant(44100), Variant(44100));
    EXPECT_FALSE(bag.contains("SpS"));
    bag.WriteProperty("SpS", Variant(50000), Variant(44100));
    EXPECT_EQ(bag.ReadProperty("sps", Variant(1)).toInt32(), 50000);
    bag.WriteProperty("SPS", Variant(44100.0), Variant(44100));  // equal by value: dropped again
    EXPECT_FALSE(bag.contains("SpS"));
    EXPECT_EQ(bag.ReadProperty("SpS", Variant(44100)).toInt32(), 44100);
}

TEST(DispatchTest, MembersAreFoundByNameIgnoringCase) {
    struct Tiny : platform::com::Dispatch {
        std::vector<platform::com::MemberInfo> table{{7, "Value", false, true, true, 0, 0}};
        int value = 0;
        Variant invoke(DispId id, platform::com::InvokeKind kind, std::vector<Variant>& args) override {
            platform::com::checkCall(table, id, kind, args);
            if (kind == platform::com::InvokeKind::PropertyPut) value = args.back().toInt32();
            return Variant(value);
        }
        const std::vector<platform::com::MemberInfo>& members() const override { return table; }
    } t;
    EXPECT_EQ(t.idOfName("VALUE"), 7);
    EXPECT_FALSE(t.idOfName("Other"));
    t.put(7, 12);
    EXPECT_EQ(t.callByName("value", platform::com::InvokeKind::PropertyGet).toInt32(), 12);
    EXPECT_EQ(errorOf([&] { t.callByName("nope", platform::com::InvokeKind::Method); }), 438);
    EXPECT_EQ(errorOf([&] { t.get(7, {Variant(1)}); }), 450);
    EXPECT_EQ(platform::com::hresultOfError(1051), static_cast<platform::com::HRESULT>(0x800A041Bu));
}

class CreationTest : public WavorixTest {};

TEST_F(CreationTest, RegistrationRecordsTheIdentityAndThePath) {
    EXPECT_EQ(platform::RegRead("HKEY_CLASSES_ROOT\\prjVorix.Vorix\\"), "prjVorix.Vorix");
    EXPECT_EQ(platform::RegRead("HKEY_CLASSES_ROOT\\prjVorix.Vorix\\InprocServer32\\"),
              std::filesystem::weakly_canonical(WAVORIX_LIBRARY).string());
    auto& c = create();
    EXPECT_EQ(c.extender().name(), "Vorix1");

    // Unregistered: the host can no longer create it.
    EXPECT_EQ(platform::com::callRegistrationEntry(WAVORIX_LIBRARY, true), platform::com::S_OK);
    EXPECT_EQ(platform::com::registeredLibrary(wavorix::kProgId), "");
    try {
        platform::com::createControl(wavorix::kProgId, form.get(), "Vorix2");
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_EQ(e.description(), "ActiveX component can't create object");
    }
    EXPECT_NE(platform::com::lastCreateError().find("not registered"), std::string::npos);
}

TEST_F(CreationTest, ALibraryThatCannotBeOpenedOrHasNoSuchClass) {
    platform::com::registerClass("prjNone.Gone", "/nonexistent/libgone.so");
    EXPECT_EQ(errorOf([&] { platform::com::createControl("prjNone.Gone", form.get(), "X"); }), 429);
    EXPECT_NE(platform::com::lastCreateError().find("libgone.so"), std::string::npos);
    // The library exists but does not make that class.
    platform::com::registerClass("prjVorix.Other", WAVORIX_LIBRARY);
    EXPECT_EQ(errorOf([&] { platform::com::createControl("prjVorix.Other", form.get(), "X"); }), 429);
    // No host form: object required.
    EXPECT_EQ(errorOf([&] { platform::com::createControl(wavorix::kProgId, nullptr, "X"); }), 424);
    EXPECT_EQ(platform::com::callRegistrationEntry("/nonexistent/libgone.so", false), platform::com::E_FAIL);
}

TEST_F(CreationTest, TheLibraryStaysLoadedWhileAControlLives) {
    using Fn = platform::com::DllCanUnloadNowFn;
    void* self = ::dlopen(WAVORIX_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr);
    auto canUnload = reinterpret_cast<Fn>(::dlsym(self, "DllCanUnloadNow"));
    EXPECT_EQ(canUnload(), platform::com::S_OK);
    create();
    EXPECT_EQ(canUnload(), platform::com::S_FALSE);
    EXPECT_EQ(platform::com::freeUnusedLibraries(), 0);
    vorix.reset();
    EXPECT_EQ(canUnload(), platform::com::S_OK);
    ::dlclose(self);
}

}  // namespace
}  // namespace wxtest
