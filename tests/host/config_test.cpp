#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "values/config.h"
#include "host/config_file.h"
#include "values/server_config.h"
#include "values/settings_reference.h"

namespace pexo {
namespace {

std::string Text(Config& config, int32_t key) {
  int32_t length = -1;
  const char* text = config.GetString(key, &length);
  if (!text) return "<none>";
  return std::string(text, static_cast<size_t>(length));
}

TEST(Config, IntegerDefaultsAreStoredOnFirstRead) {
  const struct {
    int32_t key;
    int32_t value;
  } kDefaults[] = {
      {CFG_MAX_POST_VARS, 2000},        {CFG_TIMEOUT_GLOBAL, 90},
      {CFG_TIMEOUT_ASYNC, 3600},        {CFG_TIMEOUT_ASYNC_SLEEP, 86400},
      {CFG_DELAY_FILE, 100},            {CFG_BUFSZ_OUTPUT_FLUSH, 1048576},
      {CFG_MAX_UNKNOWN_CONTENT_LENGTH, 1048576}, {CFG_LOCK_EXPIRATION, 90},
      {CFG_SSL_SNI, -1},                {CFG_SOCKS_VERSION, 4},
      {CFG_SOCKS_PORT, 1080},           {CFG_MAX_FILES, 0},
      {CFG_BUFSZ_IMPORT, 8192},         {CFG_COOKIES, 0},
  };
  PosixConfig config;
  for (const auto& d : kDefaults) {
    EXPECT_FALSE(config.IsStored(d.key));
    EXPECT_EQ(config.GetInteger(d.key), d.value) << std::hex << d.key;
    EXPECT_TRUE(config.IsStored(d.key));
  }
}

TEST(Config, KeysWithoutDefault) {
  PosixConfig config;
  EXPECT_EQ(config.GetInteger(CFG_SLOWREQUEST_SYSLOG), -1);
  EXPECT_FALSE(config.IsStored(CFG_SLOWREQUEST_SYSLOG));
  EXPECT_EQ(Text(config, CFG_DIR_PEXO), "<none>");
  EXPECT_EQ(Text(config, CFG_LOCK_HOSTNAME), "<none>");
  EXPECT_EQ(Text(config, CFG_ERROR_SYSLOG_IDENT), "<none>");
}

TEST(Config, TextDefaultsFollowThePlatform) {
  PosixConfig posix;
  EXPECT_EQ(Text(posix, CFG_DIR_USER), "public_vrk");
  EXPECT_EQ(Text(posix, CFG_DEFAULT_FILE), "index.pxc");
  EXPECT_EQ(Text(posix, CFG_SSL_OPENSSL), "libssl.so");
  EXPECT_EQ(Text(posix, CFG_SSL_CRYPTO), "libcrypto.so");
  EXPECT_NE(Text(posix, CFG_INFO_SERVERADMIN), "<none>");
  Config plain;  // no platform: the TLS library names are unknown
  EXPECT_EQ(Text(plain, CFG_SSL_OPENSSL), "<none>");
}

TEST(Config, WrongKindIsRefused) {
  PosixConfig config;
  EXPECT_EQ(config.GetInteger(CFG_DIR_USER), -1);
  int32_t length = 7;
  EXPECT_EQ(config.GetString(CFG_MAX_POST_VARS, &length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(config.SetInteger(CFG_DIR_PEXO, 5), 0);
  EXPECT_EQ(config.SetString(CFG_MAX_FILES, "5", -1), 0);
  // An owned text handed with the wrong key is freed, not leaked.
  EXPECT_EQ(config.SetString(CFG_MAX_FILES, copy_text("5", 1), 1, true), 0);
  EXPECT_EQ(config.GetInteger(CFG_MAX_FILES), 0);
}

TEST(Config, SetReplacesStoredAndDefaultedValues) {
  PosixConfig config;
  EXPECT_EQ(config.GetInteger(CFG_TIMEOUT_CALL), 30);
  EXPECT_EQ(config.SetInteger(CFG_TIMEOUT_CALL, 5), 1);
  EXPECT_EQ(config.GetInteger(CFG_TIMEOUT_CALL), 5);
  EXPECT_EQ(config.SetString(CFG_DIR_DATA, "/a", -1), 1);
  EXPECT_EQ(config.SetString(CFG_DIR_DATA, copy_text("/bb", 3), 3, true), 1);
  EXPECT_EQ(Text(config, CFG_DIR_DATA), "/bb");
  EXPECT_EQ(config.SetString(CFG_DIR_DATA, "a\0b", 3), 1);  // counted, not terminated
  EXPECT_EQ(Text(config, CFG_DIR_DATA), std::string("a\0b", 3));
}

TEST(Config, CopyIsIndependent) {
  PosixConfig parent;
  parent.SetString(CFG_DIR_DATA, "/data", -1);
  parent.SetInteger(CFG_MAX_FILES, 3);
  PosixConfig child(parent);
  parent.SetString(CFG_DIR_DATA, "/other", -1);
  EXPECT_EQ(Text(child, CFG_DIR_DATA), "/data");
  EXPECT_EQ(child.GetInteger(CFG_MAX_FILES), 3);
}

TEST(Config, DeprecatedFeatureList) {
  PosixConfig config;
  EXPECT_FALSE(config.DeprecatedEnabled("old_call", -1));
  config.SetString(CFG_ENABLE_DEPRECATED, " Old_Call,legacy-vars\tx ,", -1);
  EXPECT_TRUE(config.DeprecatedEnabled("old_call", -1));
  EXPECT_TRUE(config.DeprecatedEnabled("LEGACY-VARS", -1));
  EXPECT_TRUE(config.DeprecatedEnabled("x", -1));
  EXPECT_FALSE(config.DeprecatedEnabled("old", -1));
  EXPECT_FALSE(config.DeprecatedEnabled("", 0));
  config.SetString(CFG_ENABLE_DEPRECATED, "other", -1);  // re-parsed after a change
  EXPECT_FALSE(config.DeprecatedEnabled("old_call", -1));
  EXPECT_TRUE(config.DeprecatedEnabled("other", -1));
}

TEST(Config, KeyNamesTable) {
  EXPECT_EQ(FindConfigKey("MAX_POST_VARS", -1), CFG_MAX_POST_VARS);
  EXPECT_EQ(FindConfigKey("enable_deprecated", -1), CFG_ENABLE_DEPRECATED);
  EXPECT_EQ(FindConfigKey("socks_password", -1), 0);  // never visible to scripts
  int count = 0;
  for (const ConfigKeyName* k = ConfigKeys(); k->name; ++k) ++count;
  EXPECT_EQ(count, 56);
}

class RecordingSink : public ErrorSettingsSink {
 public:
  bool SetTagErrorFlags(const char* name, int32_t length, int32_t flags) override {
    last_name.assign(name, static_cast<size_t>(length));
    last_flags = flags;
    return last_name == "PxOPEN";
  }
  std::string last_name;
  int32_t last_flags = -1;
};

TEST(ServerConfig, ErrorSettingHooks) {
  ServerConfig config;
  EXPECT_EQ(config.SetErrorSetting("PxOPEN", -1, 3), 0);  // no sink yet
  RecordingSink sink;
  config.SetErrorSettingsSink(&sink);
  const struct {
    const char* text;
    int32_t flags;
  } kTexts[] = {{"fatal", 2}, {"display", 1}, {"display,fatal", 3}, {"none", 0}, {"Fatal", 0}};
  for (const auto& t : kTexts) {
    EXPECT_EQ(config.SetErrorSettingText("PxOPEN", -1, t.text), 1);
    EXPECT_EQ(sink.last_flags, t.flags) << t.text;
  }
  EXPECT_EQ(config.SetErrorSettingText("PxNOPE", -1, "fatal"), 0);
}

// A row of the settings table that names a place in the file is read from
// there, whatever its type, so a new row needs no reader code of its own.
TEST(ConfigFile, EverySettingWithAPlaceIsRead) {
  int32_t count = 0;
  const Setting* settings = Settings(&count);
  std::map<std::string, std::string> attributes;  // by element, "" the section
  for (int32_t i = 0; i < count; ++i) {
    const Setting& s = settings[i];
    if (!s.element) continue;
    std::string first(s.attributes, std::strcspn(s.attributes, " "));
    const char* value = s.type == SettingType::kText      ? "'v'"
                        : s.type == SettingType::kBoolean ? "'true'"
                                                          : "'1'";
    attributes[s.element] += " " + first + "=" + value;
  }
  std::string xml = "<PexoScript" + attributes[""] + ">";
  for (const auto& e : attributes)
    if (!e.first.empty()) xml += "<" + e.first + e.second + "/>";
  xml += "</PexoScript>";
  ConfigFile file;
  ASSERT_TRUE(file.LoadBuffer(xml.data(), xml.size(), "table.xml")) << file.ErrorText().c_str();
  ServerConfig c;
  file.ConfigFor("/", -1, &c);
  int32_t read = 0;
  for (int32_t i = 0; i < count; ++i) {
    const Setting& s = settings[i];
    if (!s.element) {
      EXPECT_FALSE(c.IsStored(s.key)) << s.name;
      continue;
    }
    ++read;
    if (s.type == SettingType::kText)
      EXPECT_EQ(Text(c, s.key), "v") << s.name;
    else
      EXPECT_EQ(c.GetInteger(s.key), 1) << s.name;
  }
  EXPECT_EQ(read, 46);
}

TEST(Settings, CommittedDocumentIsTheOneTheTableMakes) {
  FILE* f = std::fopen(PEXO_SOURCE_DIR "/docs/settings.md", "rb");
  ASSERT_NE(f, nullptr);
  std::string committed;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) committed.append(buffer, n);
  std::fclose(f);
  String made;
  WriteSettingsReference(&made);
  EXPECT_TRUE(committed == made.c_str())
      << "docs/settings.md is stale: run scripts/settings_doc.sh";
}

// --- the configuration file -------------------------------------------------

bool LoadText(ConfigFile* file, const std::string& xml) {
  return file->LoadBuffer(xml.data(), xml.size(), "test.xml");
}

const char kFullFile[] = R"(<?xml version="1.0"?>
<configuration>
  <PexoScript serverAdmin="admin@example.org" vrkcallerid="true" openssl="libssl.so.3"
              opensslCrypto="libcrypto.so.3" sslConfig="cfg" sslSNI="1"
              enableDeprecated="a,b">
    <paths root="/srv/pexo" data="/srv/data" temp="/srv/tmp" ca="/etc/ca" cafile="/etc/ca.pem"/>
    <socks version="5" host="proxy" port="1081" username="u" password="p"/>
    <timeouts global="60" call="11" mail="12" file="13" post="14" asynchronous="15"
              asynchronousSleep="16" fileDelay="17" lockExpiration="18"/>
    <limits maxFiles="20" maxDoCache="21" maxPostVars="22" maxUnknownContentLength="23"
            maxAsynchronousTasks="24" maxRequestMemory="25"/>
    <debugLog file="/var/log/px.log" filter="a.pxc" cookie="c" level="0x2000000"/>
    <securityOptions script="1" ssl="0x2000"/>
    <libraries>
      <add type="0" library="/lib/funcs.so"/>
      <add type="1" library="/lib/shop.so"/>
      <add type="1" code="SHOP" library="/lib/shop.so"/>
      <add type="2" code="SQL" library="/lib/sql.so"/>
      <add type="3" code="EXT" library="/lib/ext.so"/>
      <add type="4" code="X" library="/lib/x.so"/>
      <add type="zero" library="/lib/bad.so"/>
      <add type="0" library=""/>
    </libraries>
    <syslog syslog="fatal,input:&quot;POST&quot;" ident="pexo-err" facility="local1"
            priority="crit"/>
    <slowrequestsyslog syslog="5" ident="pexo-slow" facility="daemon" priority="info"/>
  </PexoScript>
</configuration>
)";

TEST(ConfigFile, EveryElementAndAttribute) {
  ConfigFile file;
  ASSERT_TRUE(LoadText(&file, kFullFile)) << file.ErrorText().c_str();
  ServerConfig c;
  file.ConfigFor("/x.pxc", -1, &c);
  EXPECT_EQ(Text(c, CFG_INFO_SERVERADMIN), "admin@example.org");
  EXPECT_EQ(c.GetInteger(CFG_COOKIES), 1);
  EXPECT_EQ(Text(c, CFG_SSL_OPENSSL), "libssl.so.3");
  EXPECT_EQ(Text(c, CFG_SSL_CRYPTO), "libcrypto.so.3");
  EXPECT_EQ(Text(c, CFG_SSL_CONFIG), "cfg");
  EXPECT_EQ(c.GetInteger(CFG_SSL_SNI), 1);
  EXPECT_TRUE(c.DeprecatedEnabled("b", -1));
  EXPECT_EQ(Text(c, CFG_DIR_PEXO), "/srv/pexo");
  EXPECT_EQ(Text(c, CFG_DIR_DATA), "/srv/data");
  EXPECT_EQ(Text(c, CFG_DIR_TEMP), "/srv/tmp");
  EXPECT_EQ(Text(c, CFG_DIR_CA), "/etc/ca");
  EXPECT_EQ(Text(c, CFG_FILE_CA), "/etc/ca.pem");
  EXPECT_EQ(c.GetInteger(CFG_SOCKS_VERSION), 5);
  EXPECT_EQ(Text(c, CFG_SOCKS_HOST), "proxy");
  EXPECT_EQ(c.GetInteger(CFG_SOCKS_PORT), 1081);
  EXPECT_EQ(Text(c, CFG_SOCKS_USERNAME), "u");
  EXPECT_EQ(Text(c, CFG_SOCKS_PASSWORD), "p");
  const int32_t kTimeouts[] = {CFG_TIMEOUT_CALL, CFG_TIMEOUT_MAIL, CFG_TIMEOUT_FILE,
                               CFG_TIMEOUT_POST, CFG_TIMEOUT_ASYNC, CFG_TIMEOUT_ASYNC_SLEEP,
                               CFG_DELAY_FILE, CFG_LOCK_EXPIRATION};
  EXPECT_EQ(c.GetInteger(CFG_TIMEOUT_GLOBAL), 60);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(c.GetInteger(kTimeouts[i]), 11 + i);
  const int32_t kLimits[] = {CFG_MAX_FILES, CFG_MAX_DOCACHE, CFG_MAX_POST_VARS,
                             CFG_MAX_UNKNOWN_CONTENT_LENGTH, CFG_MAX_ASYNC_TASKS,
                             CFG_MAX_REQUEST_MEMORY};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(c.GetInteger(kLimits[i]), 20 + i);
  EXPECT_EQ(Text(c, CFG_LOG_FILE), "/var/log/px.log");
  EXPECT_EQ(Text(c, CFG_LOG_FILTER), "a.pxc");
  EXPECT_EQ(Text(c, CFG_LOG_COOKIE), "c");
  EXPECT_EQ(c.GetInteger(CFG_LOG_LEVEL), 0x2000000);
  EXPECT_EQ(c.GetInteger(CFG_FLAGS_SECURITY), 0x2001);
  EXPECT_EQ(Text(c, CFG_ERROR_SYSLOG), "fatal,input:\"POST\"");
  EXPECT_EQ(Text(c, CFG_ERROR_SYSLOG_IDENT), "pexo-err");
  EXPECT_EQ(c.GetInteger(CFG_SLOWREQUEST_SYSLOG), 5);
  EXPECT_EQ(Text(c, CFG_SLOWREQUEST_SYSLOG_IDENT), "pexo-slow");
  EXPECT_EQ(Text(c, CFG_ERROR_SYSLOG_FACILITY), "local1");
  EXPECT_EQ(Text(c, CFG_ERROR_SYSLOG_PRIORITY), "crit");
  EXPECT_EQ(Text(c, CFG_SLOWREQUEST_SYSLOG_FACILITY), "daemon");
  EXPECT_EQ(Text(c, CFG_SLOWREQUEST_SYSLOG_PRIORITY), "info");

  // Type 1 without code, type 4, an unreadable type and an empty library
  // are all skipped.
  const auto& libs = c.Libraries();
  ASSERT_EQ(libs.size(), 4u);
  EXPECT_EQ(libs[0].type, LIBRARY_SYSTEM);
  EXPECT_STREQ(libs[0].library.c_str(), "/lib/funcs.so");
  EXPECT_EQ(libs[1].type, LIBRARY_COMMERCE);
  EXPECT_STREQ(libs[1].code.c_str(), "SHOP");
  EXPECT_EQ(libs[2].type, LIBRARY_DATABASE);
  EXPECT_STREQ(libs[2].code.c_str(), "SQL");
  EXPECT_EQ(libs[3].type, LIBRARY_EXTERNAL_CALL);
  EXPECT_STREQ(libs[3].library.c_str(), "/lib/ext.so");
}

TEST(ConfigFile, BadValuesLeaveDefaults) {
  ConfigFile file;
  ASSERT_TRUE(LoadText(&file, R"(<PexoScript vrkcallerid="maybe" sslSNI="12x">
      <limits maxPostVars="" maxFiles="99999999999"/>
      <timeouts global=" 7 "/>
      <securityOptions/>
    </PexoScript>)"));
  ServerConfig c;
  file.ConfigFor("/", -1, &c);
  EXPECT_EQ(c.GetInteger(CFG_COOKIES), 0);
  EXPECT_EQ(c.GetInteger(CFG_SSL_SNI), -1);
  EXPECT_EQ(c.GetInteger(CFG_MAX_POST_VARS), 2000);
  EXPECT_EQ(c.GetInteger(CFG_MAX_FILES), 0);
  EXPECT_EQ(c.GetInteger(CFG_TIMEOUT_GLOBAL), 7);
  EXPECT_EQ(c.GetInteger(CFG_FLAGS_SECURITY), 0);
  EXPECT_FALSE(c.IsStored(CFG_SLOWREQUEST_SYSLOG));
}

const char kLocations[] = R"(<configuration>
  <PexoScript serverAdmin="outer@example.org">
    <paths root="/srv/root" data="/srv/data"/>
    <limits maxFiles="10"/>
    <libraries><add type="0" library="base.so"/></libraries>
  </PexoScript>
  <location path="/shop/admin/">
    <PexoScript><limits maxFiles="30"/>
      <libraries><clear/><add type="0" library="admin.so"/></libraries>
    </PexoScript>
  </location>
  <location path="/shop">
    <PexoScript><paths data="/srv/shopdata"/><limits maxFiles="20"/>
      <libraries><add type="0" library="shop.so"/></libraries>
    </PexoScript>
  </location>
  <location path="/ignored-without-section"/>
</configuration>)";

TEST(ConfigFile, LocationsLongestPrefixWins) {
  ConfigFile file;
  ASSERT_TRUE(LoadText(&file, kLocations));
  EXPECT_EQ(file.LocationCount(), 2);
  const struct {
    const char* url;
    int32_t max_files;
    const char* data;
    const char* libraries;
  } kCases[] = {
      {"/index.pxc", 10, "/srv/data", "base.so "},
      {"/shopping/x.pxc", 10, "/srv/data", "base.so "},  // not a path-component prefix
      {"/shop", 20, "/srv/shopdata", "base.so shop.so "},
      {"/shop/cart.pxc", 20, "/srv/shopdata", "base.so shop.so "},
      {"/shop/admin/x.pxc", 30, "/srv/shopdata", "admin.so "},
      {"/shop/administrator.pxc", 20, "/srv/shopdata", "base.so shop.so "},
      {"", 10, "/srv/data", "base.so "},
  };
  for (const auto& k : kCases) {
    ServerConfig c;
    file.ConfigFor(k.url, -1, &c);
    EXPECT_EQ(c.GetInteger(CFG_MAX_FILES), k.max_files) << k.url;
    EXPECT_EQ(Text(c, CFG_DIR_DATA), k.data) << k.url;
    EXPECT_EQ(Text(c, CFG_DIR_PEXO), "/srv/root") << k.url;  // inherited everywhere
    EXPECT_EQ(Text(c, CFG_INFO_SERVERADMIN), "outer@example.org") << k.url;
    std::string libraries;
    for (const auto& l : c.Libraries()) libraries += std::string(l.library.c_str()) + " ";
    EXPECT_EQ(libraries, k.libraries) << k.url;
  }
}

TEST(ConfigFile, NoSectionMeansDefaults) {
  ConfigFile file;
  ASSERT_TRUE(LoadText(&file, "<configuration><other maxFiles='3'/></configuration>"));
  ServerConfig c;
  file.ConfigFor("/a", -1, &c);
  EXPECT_EQ(c.GetInteger(CFG_MAX_FILES), 0);
  ConfigFile unloaded;
  unloaded.ConfigFor("/a", -1, &c);
  EXPECT_EQ(c.GetInteger(CFG_MAX_POST_VARS), 2000);
}

TEST(ConfigFile, MalformedXmlNamesFileAndLine) {
  const struct {
    const char* xml;
    const char* expected_prefix;
  } kCases[] = {
      {"<configuration>\n<PexoScript>\n</configuration>\n",
       "Error in configuration file 'test.xml' at line 3: "},
      {"<configuration>\n\n\n  <paths root=\"/x>\n</configuration>",
       "Error in configuration file 'test.xml' at line "},
      {"", "Error in configuration file 'test.xml' at line 1: "},
      {"<a>\n<b attr=1/>\n</a>", "Error in configuration file 'test.xml' at line 2: "},
  };
  for (const auto& k : kCases) {
    ConfigFile file;
    EXPECT_FALSE(LoadText(&file, k.xml));
    EXPECT_FALSE(file.loaded());
    std::string error(file.ErrorText().c_str());
    EXPECT_EQ(error.compare(0, std::strlen(k.expected_prefix), k.expected_prefix), 0) << error;
    EXPECT_GT(error.size(), std::strlen(k.expected_prefix)) << "no description: " << error;
  }
}

TEST(ConfigFile, LoadsFromDiskAndReportsMissingFile) {
  char dir[] = "/tmp/pexo_cfgXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/pexo.xml";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("<configuration>\n  <PexoScript>\n    <limits maxFiles='4'>\n  </PexoScript>\n"
             "</configuration>\n", f);
  std::fclose(f);
  ConfigFile file;
  EXPECT_FALSE(file.Load(path.c_str()));
  EXPECT_EQ(std::string(file.ErrorText().c_str()).find("Error in configuration file '" + path +
                                                      "' at line 4: "),
            0u)
      << file.ErrorText().c_str();

  f = std::fopen(path.c_str(), "w");
  std::fputs("<configuration><PexoScript><limits maxFiles='4'/></PexoScript></configuration>", f);
  std::fclose(f);
  ASSERT_TRUE(file.Load(path.c_str())) << file.ErrorText().c_str();
  ServerConfig c;
  file.ConfigFor("/", 1, &c);
  EXPECT_EQ(c.GetInteger(CFG_MAX_FILES), 4);

  std::remove(path.c_str());
  EXPECT_FALSE(file.Load(path.c_str()));
  EXPECT_EQ(std::string(file.ErrorText().c_str()),
            "Unable to read configuration file '" + path + "': No such file or directory");
  rmdir(dir);
}

}  // namespace
}  // namespace pexo

namespace pexo {
namespace {

// The documented example must stay a valid file that means what it says.
TEST(ConfigFile, DocumentedExampleLoads) {
  FILE* f = std::fopen(PEXO_SOURCE_DIR "/docs/configuration.md", "rb");
  ASSERT_NE(f, nullptr);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  size_t start = text.find("```xml\n");
  ASSERT_NE(start, std::string::npos);
  start += 7;
  size_t end = text.find("```", start);
  ASSERT_NE(end, std::string::npos);
  ConfigFile file;
  ASSERT_TRUE(file.LoadBuffer(text.data() + start, end - start, "configuration.md"))
      << file.ErrorText().c_str();
  ServerConfig admin;
  file.ConfigFor("/shop/admin/index.pxc", -1, &admin);
  EXPECT_EQ(admin.GetInteger(CFG_MAX_FILES), 128);
  EXPECT_EQ(admin.GetInteger(CFG_COOKIES), 0);
  EXPECT_EQ(Text(admin, CFG_DIR_DATA), "/srv/pexo/shopdata");
  ASSERT_EQ(admin.Libraries().size(), 1u);
  ServerConfig home;
  file.ConfigFor("/index.pxc", -1, &home);
  EXPECT_EQ(home.GetInteger(CFG_COOKIES), 1);
  EXPECT_EQ(home.GetInteger(CFG_FLAGS_SECURITY), 0x2000);
  EXPECT_EQ(home.Libraries().size(), 4u);
  EXPECT_EQ(Text(home, CFG_SLOWREQUEST_SYSLOG_PRIORITY), "warning");
}

}  // namespace
}  // namespace pexo
