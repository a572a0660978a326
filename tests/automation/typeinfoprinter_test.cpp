// The text form of type information, line by line.
#include "platform/automation/typeinfoprinter.h"

#include <array>
#include <gtest/gtest.h>

using namespace automation;

namespace {

constexpr std::array mailMembers{
    propGet(0x68030017, "Status", ValueType::Integer, "Returns the status."),
    propPut(0x68030013, "Host", ValueType::String, "Sets/Returns the host."),
    method(0x6003001E, "Connect", ValueType::Void, {}, "Connects."),
    method(0x60030022, "GetHeader", ValueType::String,
           {ParamInfo{"strName", ValueType::String, false}}, "Returns a \"header\"."),
    method(0x60030024, "Select", ValueType::Void,
           {ParamInfo{"intNumber", ValueType::Integer, true},
            ParamInfo{"varTag", ValueType::Variant, false},
            ParamInfo{"blnWhen", ValueType::Boolean, true}},
           nullptr),
    propGet(-4, "Item", ValueType::Variant, ""),
};
static_assert(hasUniqueIds(mailMembers) && hasConsistentNames(mailMembers));

constexpr InterfaceInfo mailInterface{"_Mail", "{929AF554-8DDA-406C-8254-41412E447CF4}",
                                      InterfaceFlags::Hidden | InterfaceFlags::Dual |
                                          InterfaceFlags::NonExtensible,
                                      mailMembers, "Mail access"};
constexpr std::array eventMembers{
    method(1, "Progress", ValueType::Void, {ParamInfo{"lngDone", ValueType::Long, true}}, nullptr)};
constexpr InterfaceInfo mailEvents{"__Mail", "{0512E341-6CE4-4F68-833B-BCBE359E2253}",
                                   InterfaceFlags::Hidden | InterfaceFlags::DispatchOnly,
                                   eventMembers, nullptr};
constexpr ClassInfo mailClass{"Mail", "{E7CC63F0-883E-4C8B-85F2-48BE5280A8FC}", ClassFlags::Control,
                              &mailInterface, &mailEvents};
constexpr ClassInfo pageClass{"Page", "{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}", 0, &mailEvents,
                              nullptr};
constexpr const InterfaceInfo* interfaces[] = {&mailInterface, &mailEvents};
constexpr const ClassInfo* classes[] = {&mailClass, &pageClass};
constexpr TypeLibraryInfo mailLibrary{
    "Maillib", "{48250ACE-8342-4EA8-85F9-1F377711A6ED}", 1, 0, 0x409, "Mail 1.0", interfaces,
    classes};

TEST(TypeInfoPrinter, PrintsOneLinePerMember)
{
    EXPECT_EQ(printInterfaceMembers(mailInterface),
              "0x68030017 propget Status -> Integer \"Returns the status.\"\n"
              "0x68030013 propput Host -> String \"Sets/Returns the host.\"\n"
              "0x6003001E method Connect() \"Connects.\"\n"
              "0x60030022 method GetHeader(byval String strName) -> String "
              "\"Returns a \"header\".\"\n"
              "0x60030024 method Select(byref Integer intNumber, byval Variant varTag, "
              "byref Boolean blnWhen) \"\"\n"
              "0xFFFFFFFC propget Item -> Variant \"\"\n");
}

TEST(TypeInfoPrinter, PrintsTheWholeLibrary)
{
    EXPECT_EQ(printTypeLibrary(mailLibrary),
              "library Maillib {48250ACE-8342-4EA8-85F9-1F377711A6ED} version 1.0 lcid 0x0409 "
              "\"Mail 1.0\"\n"
              "interface _Mail {929AF554-8DDA-406C-8254-41412E447CF4} "
              "[hidden, dual, nonextensible] \"Mail access\"\n"
              "    0x68030017 propget Status -> Integer \"Returns the status.\"\n"
              "    0x68030013 propput Host -> String \"Sets/Returns the host.\"\n"
              "    0x6003001E method Connect() \"Connects.\"\n"
              "    0x60030022 method GetHeader(byval String strName) -> String "
              "\"Returns a \"header\".\"\n"
              "    0x60030024 method Select(byref Integer intNumber, byval Variant varTag, "
              "byref Boolean blnWhen) \"\"\n"
              "    0xFFFFFFFC propget Item -> Variant \"\"\n"
              "interface __Mail {0512E341-6CE4-4F68-833B-BCBE359E2253} [hidden, dispatch-only] "
              "\"\"\n"
              "    0x00000001 method Progress(byref Long lngDone) \"\"\n"
              "class Mail {E7CC63F0-883E-4C8B-85F2-48BE5280A8FC} [control] default _Mail "
              "source __Mail\n"
              "class Page {20B443C6-55E2-46A8-ADA3-7A43BBFCD155} [] default __Mail\n");
}

TEST(TypeInfo, LooksUpMembersInterfacesAndClasses)
{
    EXPECT_EQ(idOfName(mailInterface, "gEtHeAdEr"), 0x60030022);
    EXPECT_EQ(findMember(mailInterface, 0x68030013, MemberKind::PropertyGet), nullptr);
    EXPECT_EQ(findClass(mailLibrary, "20b443c6-55e2-46a8-ada3-7a43bbfcd155"), &pageClass);
    EXPECT_EQ(findClass(mailLibrary, "{20B443C6-55E2-46A8-ADA3-7A43BBFCD156}"), nullptr);
}

} // namespace
