// relalg_ref [--extended] INPUT OUTPUT: the reference evaluation as a
// command, for scripts that compare it with the program. Either path may be
// "-"; --extended reads join, njoin, intersect and divide too. Exits
// with the run's status (0, or 1 when it fails; 2 for a wrong command line
// or an input that cannot be read).
#include <fstream>
#include <iostream>
#include <string>

#include "reference.h"

int main(int argc, char** argv) {
  const bool extended = argc == 4 && std::string(argv[1]) == "--extended";
  if (argc != 3 && !extended) {
    std::cerr << "usage: relalg_ref [--extended] INPUT OUTPUT\n";
    return 2;
  }
  const std::string in_path = argv[argc - 2];
  const std::string out_path = argv[argc - 1];
  std::ifstream file;
  if (in_path != "-") {
    file.open(in_path, std::ios::binary);
    if (!file) {
      std::cerr << "relalg_ref: cannot read " << in_path << "\n";
      return 2;
    }
  }
  const ref::outcome r = ref::run(in_path == "-" ? std::cin : file, extended);
  if (out_path == "-") {
    std::cout.write(r.output.data(), static_cast<std::streamsize>(r.output.size()));
    std::cout.flush();
    return std::cout ? r.status : 2;
  }
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  out.write(r.output.data(), static_cast<std::streamsize>(r.output.size()));
  out.close();
  return out ? r.status : 2;
}
