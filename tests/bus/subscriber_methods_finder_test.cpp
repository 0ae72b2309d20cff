#include "bus/subscriber_methods_finder.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus/message_key.h"
#include "bus_test_support.h"

namespace tavrel::bus::test {
namespace {

// Each class declares one kind of handler, right or wrong. The handlers are never called here.
#define TAVREL_TEST_SUBSCRIBER(NAME, BODY)                                                \
    class NAME : public TSubscriberObject {                                               \
      public:                                                                             \
        BODY static const TSubscriberClass Registration;                                  \
        const TSubscriberClass& SubscriberClass() const override { return Registration; } \
    }

TAVREL_TEST_SUBSCRIBER(TZero, void Zero(){});
TAVREL_TEST_SUBSCRIBER(TTwo, void Two(const std::string&, const std::string&){});
TAVREL_TEST_SUBSCRIBER(TUnknown, );
TAVREL_TEST_SUBSCRIBER(TNonConst, void NonConst(std::string&){});
TAVREL_TEST_SUBSCRIBER(TByValue, void ByValue(std::string){});
TAVREL_TEST_SUBSCRIBER(TInteger, void Integer(const int&){});
TAVREL_TEST_SUBSCRIBER(TConcrete, void Concrete(const std::shared_ptr<TValue<IAlpha>>&){});
TAVREL_TEST_SUBSCRIBER(TUnnamed, void Unnamed(const std::string&){});
TAVREL_TEST_SUBSCRIBER(TNone, void NotAHandler(const std::string&){});
TAVREL_TEST_SUBSCRIBER(TPrivate, );
TAVREL_TEST_SUBSCRIBER(TIgnored, void OnPing(const std::string&){});
TAVREL_TEST_SUBSCRIBER(
    TOrder, void Good(const std::string&) {} void NonConst(std::string&) {} void Zero(){});
TAVREL_TEST_SUBSCRIBER(TTwoAndNonConst, void Both(std::string&, int){});
TAVREL_TEST_SUBSCRIBER(TNoGuidHandler, void OnNoGuid(const std::shared_ptr<INoGuid>&){});

const TSubscriberClass TZero::Registration = TSubscriberClass("BusTest", "TZero").Method<&TZero::Zero>("Zero", {"a"});
const TSubscriberClass TTwo::Registration = TSubscriberClass("BusTest", "TTwo").Method<&TTwo::Two>("Two", {"a"});
const TSubscriberClass TUnknown::Registration =
    TSubscriberClass("BusTest", "TUnknown")
        .Declare({"Unknown", nullptr, {std::make_shared<SubscribeAttribute>("a")}, {TParameter{nullptr, true}}});
const TSubscriberClass TNonConst::Registration =
    TSubscriberClass("BusTest", "TNonConst").Method<&TNonConst::NonConst>("NonConst", {"a"});
const TSubscriberClass TByValue::Registration =
    TSubscriberClass("BusTest", "TByValue").Method<&TByValue::ByValue>("ByValue", {"a"});
const TSubscriberClass TInteger::Registration =
    TSubscriberClass("BusTest", "TInteger").Method<&TInteger::Integer>("Integer", {"a"});
const TSubscriberClass TConcrete::Registration =
    TSubscriberClass("BusTest", "TConcrete").Method<&TConcrete::Concrete>("Concrete", {"a"});
const TSubscriberClass TUnnamed::Registration =
    TSubscriberClass("BusTest", "TUnnamed").Method<&TUnnamed::Unnamed>("Unnamed", {TMessagingThread::Main});
// A method without a SubscribeAttribute is no handler.
const TSubscriberClass TNone::Registration =
    TSubscriberClass("BusTest", "TNone").Declare({"NotAHandler", nullptr, {}, {TParameter{nullptr, true}}});
const TSubscriberClass TPrivate::Registration = TSubscriberClass("BusTest", "TPrivate")
                                                    .Declare({"Hidden",
                                                              nullptr,
                                                              {std::make_shared<SubscribeAttribute>("a")},
                                                              {TParameter{&TypeInfoOf<std::string>(), true}},
                                                              false});
const TSubscriberClass TIgnored::Registration =
    TSubscriberClass("System.Classes", "TComponent").Method<&TIgnored::OnPing>("OnPing", {"ping"});
const TSubscriberClass TOrder::Registration = TSubscriberClass("BusTest", "TOrder")
                                                  .Method<&TOrder::Good>("Good", {"a"})
                                                  .Method<&TOrder::NonConst>("NonConst", {"a"})
                                                  .Method<&TOrder::Zero>("Zero", {"a"});
const TSubscriberClass TTwoAndNonConst::Registration =
    TSubscriberClass("BusTest", "TTwoAndNonConst").Method<&TTwoAndNonConst::Both>("Both", {"a"});
const TSubscriberClass TNoGuidHandler::Registration =
    TSubscriberClass("BusTest", "TNoGuidHandler").Method<&TNoGuidHandler::OnNoGuid>("OnNoGuid", {"a"});

// A wrong handler in a base class; the derived class itself is fine.
class TBadDerived : public TNonConst {
  public:
    void Fine(const std::string&) {}
    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};
const TSubscriberClass TBadDerived::Registration =
    TSubscriberClass("BusTest", "TBadDerived", &TNonConst::Registration).Method<&TBadDerived::Fine>("Fine", {"a"});

struct TFinderErrorCase {
    const char* Name;
    const TSubscriberClass* Class;
    const char* Text;
};

void PrintTo(const TFinderErrorCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class Finder_Errors : public ::testing::TestWithParam<TFinderErrorCase> {};

TEST_P(Finder_Errors, RefusesTheDeclarationWithItsTextEveryTime) {
    TSubscriberMethodsFinder finder;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const auto& find :
             std::vector<std::function<void()>>{[&] { finder.FindSubscriberMethods(GetParam().Class); },
                                                [&] { finder.FindSubscriberMessageNames(GetParam().Class); }}) {
            try {
                find();
                ADD_FAILURE() << "accepted";
            } catch (const EMessaging& error) {
                EXPECT_STREQ(error.what(), GetParam().Text);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, Finder_Errors,
    ::testing::Values(
        TFinderErrorCase{"NoParameter", &TZero::Registration, "Method BusTest.TZero.Zero have invalid arguments."},
        TFinderErrorCase{"TwoParameters", &TTwo::Registration, "Method BusTest.TTwo.Two have invalid arguments."},
        TFinderErrorCase{"UnknownType", &TUnknown::Registration,
                         "Method BusTest.TUnknown.Unknown have invalid arguments."},
        TFinderErrorCase{"NonConstReference", &TNonConst::Registration,
                         "Method BusTest.TNonConst.NonConst have invalid parameter modifier. Should be const."},
        TFinderErrorCase{"NonConstValue", &TByValue::Registration,
                         "Method BusTest.TByValue.ByValue have invalid parameter modifier. Should be const."},
        TFinderErrorCase{"IntegerParameter", &TInteger::Registration,
                         "Method BusTest.TInteger.Integer has attribute SubscribeAttribute, but the method have "
                         "invalid arguments. You need to have 1 argument of string or interface."},
        TFinderErrorCase{"ImplementationClassParameter", &TConcrete::Registration,
                         "Method BusTest.TConcrete.Concrete has attribute SubscribeAttribute, but the method have "
                         "invalid arguments. You need to have 1 argument of string or interface."},
        TFinderErrorCase{"TextWithoutName", &TUnnamed::Registration,
                         "Method BusTest.TUnnamed.Unnamed has invalid subscribe attribute. All string messages "
                         "should have a name in attribute like [Subscribe('Hello')]"},
        TFinderErrorCase{"NoHandler", &TNone::Registration,
                         "Class BusTest.TNone and its super classes have no public methods with attribute "
                         "[Subscribe] defined."},
        TFinderErrorCase{"OnlyPrivateHandler", &TPrivate::Registration,
                         "Class BusTest.TPrivate and its super classes have no public methods with attribute "
                         "[Subscribe] defined."},
        TFinderErrorCase{"IgnoredModule", &TIgnored::Registration,
                         "Class System.Classes.TComponent and its super classes have no public methods with "
                         "attribute [Subscribe] defined."},
        TFinderErrorCase{"FirstWrongHandlerDecides", &TOrder::Registration,
                         "Method BusTest.TOrder.NonConst have invalid parameter modifier. Should be const."},
        TFinderErrorCase{"ArgumentCountCheckedBeforeModifier", &TTwoAndNonConst::Registration,
                         "Method BusTest.TTwoAndNonConst.Both have invalid arguments."},
        TFinderErrorCase{"BaseErrorNamesTheBase", &TBadDerived::Registration,
                         "Method BusTest.TNonConst.NonConst have invalid parameter modifier. Should be const."}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Finder_Errors_NoIdentifier, InterfaceHandlerWithoutIdentifierFailsWithTheGeneralError) {
    TSubscriberMethodsFinder finder;
    try {
        finder.FindSubscriberMethods(&TNoGuidHandler::Registration);
        ADD_FAILURE() << "accepted";
    } catch (const EMessaging&) {
        ADD_FAILURE() << "an EMessaging";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Cannot possible to get the guid of \"INoGuid\"");
    }
}

// ---- Well declared classes ----

class TBase : public TSubscriberObject {
  public:
    void OnWorld(const std::string&) {}
    void OnAlpha(const std::shared_ptr<const IAlpha>&) {}
    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};
class TDerived : public TBase {
  public:
    void OnHello(const std::string&) {}
    void Onhello(const std::string&) {}
    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};
class TPlain : public TBase {
  public:
    static const TSubscriberClass Registration;
    const TSubscriberClass& SubscriberClass() const override { return Registration; }
};

const TSubscriberClass TBase::Registration = TSubscriberClass("BusTest", "TBase", nullptr)
                                                 .Method<&TBase::OnWorld>("OnWorld", {"World", TMessagingThread::Async})
                                                 .Method<&TBase::OnAlpha>("OnAlpha", {});
const TSubscriberClass TDerived::Registration =
    TSubscriberClass("BusTest", "TDerived", &TBase::Registration)
        .Method<&TDerived::OnHello>("OnHello", {"Hello", TMessagingThread::Main})
        .Method<&TDerived::Onhello>("Onhello", {"hello"});
const TSubscriberClass TPlain::Registration = TSubscriberClass("BusTest", "TPlain", &TBase::Registration);

std::vector<std::string> NamesOf(const std::vector<const TSubscriberMethod*>& AMethods) {
    std::vector<std::string> names;
    for (const auto* method : AMethods) {
        names.push_back(method->FNameOfMethod);
    }
    return names;
}

TEST(Finder, BaseRecordsComeFirstAndAreSharedNotCopied) {
    TSubscriberMethodsFinder finder;
    const auto& base = finder.FindSubscriberMethods(&TBase::Registration);
    const auto& derived = finder.FindSubscriberMethods(&TDerived::Registration);
    EXPECT_EQ(NamesOf(derived), (std::vector<std::string>{"OnWorld", "OnAlpha", "OnHello", "Onhello"}));
    ASSERT_EQ(base.size(), 2U);
    EXPECT_EQ(derived[0], base[0]);
    EXPECT_EQ(derived[1], base[1]);
    EXPECT_EQ(derived[0]->FMessagingThread, TMessagingThread::Async);
    EXPECT_EQ(derived[2]->FMessagingThread, TMessagingThread::Main);
    EXPECT_EQ(derived[2]->FTypeKind, TTypeKind::tkString);
    EXPECT_EQ(derived[1]->FTypeKind, TTypeKind::tkInterface);
    // Cached: the same records on every call.
    EXPECT_EQ(&finder.FindSubscriberMethods(&TDerived::Registration), &derived);
}

TEST(Finder, KeysAreSortedDistinctAndFoldCase) {
    TSubscriberMethodsFinder finder;
    EXPECT_EQ(finder.FindSubscriberMessageNames(&TDerived::Registration),
              (std::vector<std::string>{"{39cf243a-5ac3-4a7b-8263-ba0f3385b559}", "{str}hello", "{str}world"}));
    const auto& methods = finder.FindSubscriberMethods(&TDerived::Registration);
    EXPECT_EQ(methods[2]->FMessageFullName, "{str}hello");
    EXPECT_EQ(methods[3]->FMessageFullName, "{str}hello");
}

TEST(Finder, SubclassWithoutHandlersGetsExactlyItsBasesRecords) {
    TSubscriberMethodsFinder finder;
    EXPECT_EQ(finder.FindSubscriberMethods(&TPlain::Registration), finder.FindSubscriberMethods(&TBase::Registration));
    EXPECT_EQ(finder.FindSubscriberMessageNames(&TPlain::Registration),
              finder.FindSubscriberMessageNames(&TBase::Registration));
}

TEST(Finder, FailingClassLeavesItsBaseCached) {
    TSubscriberClass base("BusTest", "TGrowingBase");
    base.Method<&TBase::OnWorld>("OnWorld", {"World"});
    const TSubscriberClass derived =
        TSubscriberClass("BusTest", "TBadChild", &base).Method<&TNonConst::NonConst>("NonConst", {"a"});
    TSubscriberMethodsFinder finder;
    EXPECT_THROW(finder.FindSubscriberMethods(&derived), EMessaging);
    // Declared after the failed examination: a base cached then does not see it.
    base.Method<&TBase::OnAlpha>("OnAlpha", {});
    EXPECT_EQ(NamesOf(finder.FindSubscriberMethods(&base)), std::vector<std::string>{"OnWorld"});
}

TEST(Finder, FirstSubscribeDeclarationCounts) {
    class TOther final : public TCustomAttribute {
      public:
        std::string ClassName() const override { return "TOther"; }
    };
    class TMarked final : public SubscribeAttribute {
      public:
        using SubscribeAttribute::SubscribeAttribute;
        std::string ClassName() const override { return "TMarked"; }
    };
    const TSubscriberClass registration = TSubscriberClass("BusTest", "TAttributes")
                                              .Declare({"Handler",
                                                        MethodCodeOf<&TBase::OnWorld>(),
                                                        {std::make_shared<TOther>(), std::make_shared<TMarked>("First"),
                                                         std::make_shared<SubscribeAttribute>("Second")},
                                                        {TParameter{&TypeInfoOf<std::string>(), true}}});
    TSubscriberMethodsFinder finder;
    EXPECT_EQ(finder.FindSubscriberMethods(&registration).at(0)->FMessageFullName, "{str}first");

    const TSubscriberClass wrong =
        TSubscriberClass("BusTest", "TWrong")
            .Declare({"Handler", nullptr, {std::make_shared<TMarked>("x")}, {TParameter{&TypeInfoOf<double>(), true}}});
    try {
        finder.FindSubscriberMethods(&wrong);
        ADD_FAILURE() << "accepted";
    } catch (const EMessaging& error) {
        EXPECT_STREQ(error.what(),
                     "Method BusTest.TWrong.Handler has attribute TMarked, but the method have invalid arguments. You "
                     "need to have 1 argument of string or interface.");
    }
}

TEST(MessageKey, FormsTextAndTypedKeys) {
    EXPECT_EQ(TextMessageKey("Hello"), "{str}hello");
    EXPECT_EQ(TextMessageKey(""), "{str}");
    EXPECT_EQ(TypedMessageKey(TypeInfoOf<std::shared_ptr<IAlpha>>(), "subscribeComPortData"),
              "{39cf243a-5ac3-4a7b-8263-ba0f3385b559}subscribecomportdata");
    EXPECT_EQ(TypedMessageKey(TypeInfoOf<std::shared_ptr<IBeta>>(), ""), "{0a1b2c3d-4e5f-6a7b-8c9d-aebfc0d1e2f3}");
}

// The key cache is keyed by description, so a handler's parameter and a post must share one.
TEST(MessageKey, EverySpellingOfATypeSharesOneDescription) {
    const TTypeInfo* posted = &TypeInfoOf<std::shared_ptr<IAlpha>>();
    EXPECT_EQ(&TypeInfoOf<const std::shared_ptr<IAlpha>&>(), posted);
    EXPECT_EQ(&TypeInfoOf<const std::shared_ptr<const IAlpha>&>(), posted);
    EXPECT_EQ(&TypeInfoOf<const std::string&>(), &TypeInfoOf<std::string>());
    EXPECT_NE(&TypeInfoOf<std::shared_ptr<IBeta>>(), posted);
}

class IBadGuid {
  public:
    static constexpr std::string_view GUID = "{39CF243A-5AC3-4A7B-8263-BA0F3385B55}";
    virtual ~IBadGuid() = default;
    virtual void F() = 0;
};

TEST(MessageKey, MalformedIdentifierCountsAsNone) {
    EXPECT_THROW(TypedMessageKey(TypeInfoOf<std::shared_ptr<IBadGuid>>(), "x"), Exception);
}

}  // namespace
}  // namespace tavrel::bus::test
