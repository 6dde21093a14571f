// qzt-scramble: prints the scrambled form of each argument, as Environment.ini holds it
// (DBDSPort fields, DBSvrID, DBSvrPW). With --unscramble it reads scrambled values back.
#include <cstdio>
#include <cstring>

#include "platform/environment.h"

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help")) {
    std::puts("usage: qzt-scramble VALUE...          scrambled forms, one per line\n"
              "       qzt-scramble --unscramble HEX...  the values back\n"
              "example Environment.ini line:  DBDSPort=0,$(qzt-scramble 55200)");
    return argc < 2 ? 2 : 0;
  }
  const bool back = !std::strcmp(argv[1], "--unscramble");
  try {
    for (int i = back ? 2 : 1; i < argc; ++i)
      std::puts((back ? qzt::Unscramble(argv[i]) : qzt::Scramble(argv[i])).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qzt-scramble: %s\n", e.what());
    return 1;
  }
  return 0;
}
