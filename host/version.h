// The version of the tools and the toolchain that built them, for --version
// and the guide.
#pragma once

#include <string>

namespace tarnwix::host {

// The product version, as in every module's version resource ("1.0.0").
const char* product_version();
// The Debian release and the cross compiler that built this tree, with the
// versions of their packages: modules from two toolchains behave alike but
// may differ in their bytes.
const char* toolchain();
// "PROGRAM VERSION (Tarnwix panel gauges)" and "built on TOOLCHAIN", one line
// each: what a tool prints for --version.
std::string version_text(const char* program);
// True, after printing version_text to standard output, when the command line
// holds --version (the commands in bin/ add options of their own): a tool's
// main then returns 0.
bool print_version_if_asked(int argc, char** argv, const char* program);

}  // namespace tarnwix::host
