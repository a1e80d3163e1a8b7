// The program body: the interactive terminal.
#include "app/uApp.h"

int main(int argc, char** argv) {
  TAppOptions options;
  for (int i = 1; i < argc; ++i) options.Args.push_back(argv[i]);
  return RunApplication(options);
}
