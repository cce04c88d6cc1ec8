// The tool's entry point: one program with two front ends.
#include <string>
#include <vector>

#include "app/vantor_app.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.push_back(vantor::platform::FromUtf8(argv[i]));
  vantor::CVantorApp app;
  return app.Run(args);
}
