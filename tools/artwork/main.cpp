// artwork GAUGE OUTDIR [FONTDIR]: draws one gauge's bitmaps into OUTDIR as
// bitmap_XXXX.bmp files (XXXX the resource id in hex) and writes the resource
// script OUTDIR/bitmaps.rc that embeds them with their ids, language 1033.
#include <cstdio>
#include <fstream>
#include <string>

#include "bitmap.h"

using namespace tarnwix::art;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: artwork GAUGE OUTDIR [FONTDIR]\n");
    return 2;
  }
  const std::string gauge = argv[1], outdir = argv[2];
  if (argc > 3) set_font_folder(argv[3]);
  for (const RegisteredGauge& entry : registered_gauges()) {
    if (entry.gauge != gauge) continue;
    std::ofstream script(outdir + "/bitmaps.rc");
    script << "// Bitmaps of " << gauge << ", drawn by the artwork tool.\nLANGUAGE 9, 1\n";
    for (const Bitmap& bitmap : entry.draw()) {
      const std::vector<uint8_t> bytes = encode_bmp(bitmap);
      if (bytes.empty()) {
        std::fprintf(stderr, "artwork: %s bitmap 0x%X cannot be encoded (palette)\n", gauge.c_str(), bitmap.id);
        return 1;
      }
      char name[32];
      std::snprintf(name, sizeof name, "bitmap_%04X.bmp", bitmap.id);
      std::ofstream(outdir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      script << bitmap.id << " BITMAP \"" << name << "\"\n";
    }
    return script ? 0 : 1;
  }
  std::fprintf(stderr, "artwork: no artwork for gauge %s\n", gauge.c_str());
  return 2;
}
