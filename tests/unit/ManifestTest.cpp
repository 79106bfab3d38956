// Side-by-side manifests read by our own XML reader: the forms real ones take, and
// the damage Windows refuses.
#include <gtest/gtest.h>

#include "filecheck/modManifest.h"

namespace {

std::vector<std::uint8_t> Utf8(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Utf16(const std::string& text, bool bigEndian) {
    std::vector<std::uint8_t> bytes =
        bigEndian ? std::vector<std::uint8_t>{0xFE, 0xFF} : std::vector<std::uint8_t>{0xFF, 0xFE};
    for (const char ch : text) {
        bytes.push_back(bigEndian ? 0 : static_cast<std::uint8_t>(ch));
        bytes.push_back(bigEndian ? static_cast<std::uint8_t>(ch) : 0);
    }
    return bytes;
}

// One dependency, as Visual C++ 2008 writes it into a DLL.
const std::string Vc90Runtime =
    "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
    "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
    "<requestedExecutionLevel level='asInvoker' uiAccess='false'></requestedExecutionLevel>"
    "</requestedPrivileges></security></trustInfo>\r\n"
    "  <!-- the runtime -->\r\n"
    "  <dependency>\r\n    <dependentAssembly>\r\n"
    "      <assemblyIdentity type='win32' name='Microsoft.VC90.CRT' version='9.0.21022.8' "
    "processorArchitecture='x86' publicKeyToken='1fc8b3b9a1e18e3b'></assemblyIdentity>\r\n"
    "    </dependentAssembly>\r\n  </dependency>\r\n</assembly>\r\n";

TEST(Manifest, TheFormsRealOnesTake) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } forms[] = {
        {"as Visual C++ writes it", Utf8(Vc90Runtime)},
        {"with a byte-order mark", Utf8("\xEF\xBB\xBF" + Vc90Runtime)},
        {"in UTF-16", Utf16(Vc90Runtime, false)},
        {"in big-endian UTF-16", Utf16(Vc90Runtime, true)},
        {"its elements prefixed",
         Utf8("<asmv1:assembly xmlns:asmv1='urn:schemas-microsoft-com:asm.v1'><asmv1:dependency>"
              "<asmv1:dependentAssembly><asmv1:assemblyIdentity name='Microsoft.VC90.CRT' version='9.0.21022.8' "
              "processorArchitecture='x86' publicKeyToken='1fc8b3b9a1e18e3b'/></asmv1:dependentAssembly>"
              "</asmv1:dependency></asmv1:assembly>")},
        {"its values with entities",
         Utf8("<assembly><dependency><dependentAssembly><assemblyIdentity name=\"Microsoft&#46;VC90&#x2E;CRT\" "
              "version=\"9.0.21022.8\" processorArchitecture=\"x86\" publicKeyToken=\"1fc8b3b9a1e18e3b\" "
              "x=\"&lt;&amp;&gt;&quot;&apos;\"/></dependentAssembly></dependency></assembly>")},
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        const auto manifest = modManifest::ReadManifest(form.bytes);
        EXPECT_EQ(manifest.damage, L"");
        ASSERT_EQ(manifest.dependencies.size(), 1u);
        const auto& identity = manifest.dependencies[0].identity;
        EXPECT_EQ(identity.name, L"Microsoft.VC90.CRT");
        EXPECT_EQ(identity.version, L"9.0.21022.8");
        EXPECT_EQ(identity.processorArchitecture, L"x86");
        EXPECT_EQ(identity.publicKeyToken, L"1fc8b3b9a1e18e3b");
        EXPECT_FALSE(manifest.dependencies[0].optional);
    }
}

TEST(Manifest, AnAssemblysOwnIdentityFilesAndOptionalDependencies) {
    const auto manifest = modManifest::ReadManifest(
        Utf8("<assembly><assemblyIdentity name='Velmora.Private' version='1.0.0.0' language='*'/>"
             "<file name='priv.dll'/><file name='more.dll'><comClass clsid='{0}'/></file>"
             "<dependency optional='yes'><dependentAssembly><assemblyIdentity name='Other' version='2.0.0.0'/>"
             "</dependentAssembly></dependency></assembly>"));
    EXPECT_EQ(manifest.damage, L"");
    ASSERT_TRUE(manifest.identity.has_value());
    EXPECT_EQ(manifest.identity->name, L"Velmora.Private");
    EXPECT_EQ(manifest.identity->language, L"*");
    EXPECT_EQ(manifest.files, (std::vector<std::wstring>{L"priv.dll", L"more.dll"}));
    ASSERT_EQ(manifest.dependencies.size(), 1u);
    EXPECT_TRUE(manifest.dependencies[0].optional);
}

TEST(Manifest, DamageIsToldNeverTakenForNoDependencies) {
    std::string deep;
    for (std::size_t i = 0; i < modManifest::MaxDepth + 1; ++i) deep += "<a>";
    for (std::size_t i = 0; i < modManifest::MaxDepth + 1; ++i) deep += "</a>";
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const wchar_t* damage;
    } cases[] = {
        {"empty", {}, L"it is not well-formed XML"},
        {"cut short", Utf8(Vc90Runtime.substr(0, Vc90Runtime.size() / 2)), L"it is not well-formed XML"},
        {"tags crossed", Utf8("<assembly><dependency></assembly></dependency>"), L"it is not well-formed XML"},
        {"two roots", Utf8("<assembly/><assembly/>"), L"it is not well-formed XML"},
        {"an attribute twice", Utf8("<assembly a='1' a='2'/>"), L"it is not well-formed XML"},
        {"an unknown entity", Utf8("<assembly a='&nbsp;'/>"), L"it is not well-formed XML"},
        {"an internal subset", Utf8("<!DOCTYPE a [<!ENTITY x 'y'>]><a/>"), L"it is not well-formed XML"},
        {"a byte no UTF-8 has", Utf8("<assembly a='\xC0\xAF'/>"), L"its text is not UTF-8 or UTF-16"},
        {"half a UTF-16 unit", {0xFF, 0xFE, '<'}, L"its text is not UTF-8 or UTF-16"},
        {"nested deeper than any", Utf8(deep), L"its elements nest deeper than any manifest's"},
        {"larger than any", std::vector<std::uint8_t>(modManifest::MaxManifestSize + 1, ' '),
         L"it is larger than any manifest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto manifest = modManifest::ReadManifest(c.bytes);
        EXPECT_EQ(manifest.damage, c.damage);
        EXPECT_TRUE(manifest.dependencies.empty());
    }
}

}  // namespace
