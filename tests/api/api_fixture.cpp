#include "api_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "values/variable.h"
#include "values/variable_list.h"

namespace pexo {

int TestContext::RunFunction(const char* name, int32_t length, VariableList* parameters,
                             Variable* result) {
  std::string function(name, static_cast<size_t>(length));
  if (function == "twice") return result->SetValue("ran twice");
  if (function == "supply" && parameters) {
    Variable* member = parameters->First();
    if (member && member->Value().equals("color", 5)) return result->SetValue("supplied color");
    return 1;  // runs, but leaves no value
  }
  return ApiContext::RunFunction(name, length, parameters, result);
}

ApiWorld::ApiWorld() {
  char data_template[] = "/tmp/pexo_api_dataXXXXXX";
  char script_template[] = "/tmp/pexo_api_scriptXXXXXX";
  data_dir = mkdtemp(data_template);
  script_dir = mkdtemp(script_template);
  std::ofstream(script_dir + "/page.pxc") << "compiled";
  config.SetString(0x2000001, script_dir.c_str(), -1);
  files = new PosixFileManager(&config);
  files->SetDataDirectory(data_dir.c_str(), -1);
  files->SetScriptDirectory(script_dir.c_str(), -1);
  context = new TestContext(&app, files, &config);
  context->SetScriptDirectory(script_dir.c_str(), -1);
  context->system_.SetVariable("server_name", -1, "localhost", -1);
}

ApiWorld::~ApiWorld() {
  delete context;
  delete files;
  std::filesystem::remove_all(data_dir);
  std::filesystem::remove_all(script_dir);
}

}  // namespace pexo
