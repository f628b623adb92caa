#include "guide.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "host/describe.h"
#include "host/version.h"
#include "scenario.h"

namespace tarnwix::guide {

namespace {

constexpr const char* kVirtualCockpitModule = "Tarnwix_UtilsVC";

std::string format(const char* pattern, auto... values) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

constexpr size_t kLineWidth = 78;

// TEXT as lines of at most kLineWidth characters (a longer word stands
// alone), the first after FIRST, the others after REST; FIRST and REST are
// kept as they are, spaces and all.
std::string wrap(const std::string& text, const std::string& first, const std::string& rest) {
  std::string out, line = first;
  bool empty = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!empty && line.size() + 1 + word.size() > kLineWidth) {
      out += line + "\n";
      line = rest;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  return out + line + "\n";
}

std::string underline(const std::string& text, char mark) {
  return text + "\n" + std::string(text.size(), mark) + "\n";
}

std::string panel_line(const ModuleReference& module, const std::string& number, const std::string& x,
                       const std::string& y) {
  return "gauge" + number + "=" + module.module + "!" + module.gauge_name + ", " + x + ", " + y + ", " +
         std::to_string(module.width) + ", " + std::to_string(module.height);
}

std::string event_text(const host::KeyEvent& event) {
  return format("%u = %d", event.id, static_cast<int32_t>(event.value));
}

std::string events_text(const std::vector<host::KeyEvent>& events) {
  std::string text;
  for (const host::KeyEvent& event : events) text += (text.empty() ? "" : ", ") + event_text(event);
  return text;
}

// The name of the element at `index`: its picture's meaning, or its kind.
std::string element_name(const ModuleReference& module, const Meanings& meanings, int index) {
  const ElementReference& element = module.elements[static_cast<size_t>(index)];
  if (const char* name = meanings.picture(module.module, element.resource_id)) return name;
  return format("element %d (%s)", index + 1, host::kind_name(element.kind));
}

// What a picture is to the gauge: the picture of an element, an icon's later
// picture, a moving image's mask, or nothing drawn.
std::string picture_role(const ModuleReference& module, const Meanings& meanings, int id) {
  for (const ElementReference& element : module.elements)
    if (element.resource_id == id && element.kind != host::ElementKind::kString)
      return element_name(module, meanings, element.index);
  for (int step = 1; step <= 8; ++step)
    for (const ElementReference& element : module.elements) {
      if (element.resource_id != id - step) continue;
      if (element.kind == host::ElementKind::kMovingImage && step == 1)
        return element_name(module, meanings, element.index) + ", its mask";
      if (element.kind == host::ElementKind::kIcon)
        return element_name(module, meanings, element.index) + format(", picture %d", step + 1);
    }
  return "not drawn by any element";
}

struct Sent {
  host::KeyEvent event;
  std::string when;
};

bool same_effects(const ClickEffect& a, const ClickEffect& b) {
  return a.on_click == b.on_click && a.on_update == b.on_update && a.on_release == b.on_release && a.named == b.named;
}

void describe_effect(std::string& out, const ClickEffect& effect, const ModuleMeaning& meaning) {
  constexpr const char* kIndent = "      ";
  if (!effect.on_click.empty()) out += wrap("sends at once: " + events_text(effect.on_click), kIndent, kIndent);
  if (!effect.on_update.empty())
    out += wrap(
        std::string("then on every update while ") + meaning.active_conditions + ": " + events_text(effect.on_update),
        kIndent, kIndent);
  if (!effect.on_release.empty())
    out += wrap("once, on the update after those conditions end: " + events_text(effect.on_release), kIndent, kIndent);
  for (const ClickEffect::NamedChange& change : effect.named)
    out +=
        wrap(format("sets the named variable \"%s\" from %u to %u", change.name.c_str(), change.before, change.after),
             kIndent, kIndent);
  if (effect.on_click.empty() && effect.on_update.empty() && effect.on_release.empty() && effect.named.empty())
    out += wrap("sends nothing and changes no named variable", kIndent, kIndent);
}

std::string shown_changes(const ModuleReference& module, const Meanings& meanings, const std::vector<int>& changed) {
  std::string text;
  for (int index : changed) text += (text.empty() ? "" : ", ") + element_name(module, meanings, index);
  return text.empty() ? "nothing" : text;
}

bool reference_section(std::string& out, const ModuleReference& module, const Meanings& meanings, std::string* error) {
  const ModuleMeaning* meaning = meanings.module(module.module);
  if (meaning == nullptr) {
    *error = module.module + ": no description of this gauge";
    return false;
  }
  out += "\n" + underline(format("%s, %d x %d pixels", module.module.c_str(), module.width, module.height), '-');
  out += wrap(std::string("The ") + meaning->summary + ".", "", "");
  out += "panel.cfg: " + panel_line(module, "NN", "X", "Y") + "\n";
  if (module.gauge_name != module.module) out += "The gauge inside is named " + module.gauge_name + ".\n";

  out += "\n" + wrap(
                    "Simulation variables it reads (token, what the gauge takes the value for), in the order "
                    "it looks them up on every update:",
                    "", "");
  if (module.lookups.empty()) out += "  none\n";
  for (uint32_t token : module.lookups) {
    const char* text = meanings.token(module.module, token);
    if (text == nullptr) {
      *error = format("%s looks up token %u, which the meanings table does not name", module.module.c_str(), token);
      return false;
    }
    out += wrap(text, format("  %5u  ", token), std::string(9, ' '));
  }

  // Every key event, with its value and when it is sent.
  std::vector<Sent> sent;
  auto add = [&](const std::vector<host::KeyEvent>& events, const std::string& when) {
    for (const host::KeyEvent& event : events) {
      const bool known =
          std::any_of(sent.begin(), sent.end(), [&](const Sent& s) { return s.event == event && s.when == when; });
      if (!known) sent.push_back({event, when});
    }
  };
  add(module.unprompted, "On every update, without any click");
  for (const AreaReference& area : module.areas) {
    const char* name = meanings.area(module.module, area.x, area.y);
    if (name == nullptr) {
      *error = format("%s has a click area at (%d, %d) that the meanings table does not name", module.module.c_str(),
                      area.x, area.y);
      return false;
    }
    for (const ClickEffect* effect : {&area.powered, &area.unpowered}) {
      add(effect->on_click, std::string("On a click on ") + name);
      add(effect->on_update, std::string("On every update while ") + meaning->active_conditions +
                                 " (armed and disarmed by a click on " + name + ")");
      add(effect->on_release, "Once, on the first update after those conditions end");
    }
  }
  out += "\nKey events it sends (id = value), and when:\n";
  if (sent.empty()) out += "  none\n";
  std::vector<std::string> whens;
  for (const Sent& entry : sent)
    if (std::find(whens.begin(), whens.end(), entry.when) == whens.end()) whens.push_back(entry.when);
  for (const std::string& when : whens) {
    out += wrap(when + ":", "  ", "    ");
    for (const Sent& entry : sent) {
      if (entry.when != when) continue;
      const char* text = meanings.key_event(entry.event.id);
      if (text == nullptr) {
        *error = format("%s sends key event %u, which the meanings table does not name", module.module.c_str(),
                        entry.event.id);
        return false;
      }
      out += wrap(text, format("    %-13s ", event_text(entry.event).c_str()), std::string(18, ' '));
    }
  }

  out += "\nNamed variables it publishes for other gauges:\n";
  if (module.named_variables.empty()) out += "  none\n";
  for (const std::string& name : module.named_variables) {
    const char* text = meanings.named_variable(name);
    if (text == nullptr) {
      *error = module.module + " registers the named variable \"" + name + "\", which the meanings table does not name";
      return false;
    }
    out += "  " + name + ": " + text + "\n";
  }

  out += "\nTooltip: ";
  if (module.tooltips.empty()) out += "none";
  for (size_t i = 0; i < module.tooltips.size(); ++i) out += (i ? ", \"" : "\"") + module.tooltips[i] + "\"";
  out += "\n";

  out += "\n" + wrap(
                    "Click areas, in the gauge's own pixels, and what a click does, seen with the power "
                    "variable (769) at 1 and at 0:",
                    "", "");
  if (module.areas.empty()) out += "  none: nothing on this gauge reacts to the mouse\n";
  for (const AreaReference& area : module.areas) {
    out += wrap(format("%s: x %d, y %d, %d x %d pixels, cursor %d", meanings.area(module.module, area.x, area.y),
                       area.x, area.y, area.width, area.height, area.cursor),
                "  ", "    ");
    if (same_effects(area.powered, area.unpowered)) {
      out += "    with or without power, a click:\n";
      describe_effect(out, area.powered, *meaning);
    } else {
      out += "    with power, a click:\n";
      describe_effect(out, area.powered, *meaning);
      out += "    without power, a click:\n";
      describe_effect(out, area.unpowered, *meaning);
    }
    out += wrap("what the gauge shows at the next update changes, with power: " +
                    shown_changes(module, meanings, area.powered.elements_changed) +
                    "; without power: " + shown_changes(module, meanings, area.unpowered.elements_changed),
                "    ", "      ");
  }

  std::set<std::string> faces;
  int readouts = 0;
  for (const ElementReference& element : module.elements)
    if (element.kind == host::ElementKind::kString) {
      ++readouts;
      faces.insert(element.font_face);
    }
  if (readouts > 0) {
    std::string names;
    for (const std::string& face : faces) names += (names.empty() ? "\"" : ", \"") + face + "\"";
    out += format("\nText readouts: %d, drawn in the face ", readouts) + names + ".\n";
  }

  out += "\nPictures (bitmap resources: id, size, colour depth, use):\n";
  for (const BitmapReference& bitmap : module.bitmaps)
    out += format("  0x%04X  %4d x %-4d %2d-bit  ", bitmap.id, bitmap.width, bitmap.height, bitmap.bits_per_pixel) +
           picture_role(module, meanings, bitmap.id) + "\n";
  return true;
}

const ModuleReference* find(const std::vector<ModuleReference>& modules, const std::string& name) {
  for (const ModuleReference& module : modules)
    if (module.module == name) return &module;
  return nullptr;
}

}  // namespace

std::vector<Placement> sample_panel() {
  std::string error;
  const std::optional<host::Scenario> panel = host::parse_scenario("module all\n", "panel", &error);
  std::vector<Placement> places;
  if (panel)
    for (const host::ScenarioModule& module : panel->modules) places.push_back({module.name, module.x, module.y});
  return places;
}

std::optional<std::string> write_guide(const std::vector<ModuleReference>& modules, const Meanings& meanings,
                                       const std::string& version, std::string* error) {
  if (modules.empty()) {
    *error = "no modules to describe";
    return std::nullopt;
  }
  for (const ModuleReference& module : modules)
    if (module.version != version) {
      *error = module.module + " carries version \"" + module.version + "\", not " + version;
      return std::nullopt;
    }
  std::string out = underline("Tarnwix panel gauges " + version, '=');
  out +=
      "\nGauges for the panel of an aircraft in Microsoft Flight Simulator 2004. Each\n"
      "file in the Gauges folder holds one gauge:\n\n";
  for (const ModuleReference& module : modules) {
    const ModuleMeaning* meaning = meanings.module(module.module);
    out += wrap(meaning ? meaning->summary : "",
                format("  %-24s %3d x %-3d  ", (module.module + ".gau").c_str(), module.width, module.height),
                std::string(38, ' '));
  }
  out +=
      "\nAlso in this package: panel.cfg, a sample panel with every gauge placed; and\n"
      "the Previews folder, a picture of each gauge with power on.\n";
  // Two toolchains make modules that behave alike but differ in their bytes.
  out += "\n" + wrap(std::string("Built on ") + host::toolchain() + ".", "", "");

  out += "\n" + underline("Installing", '-');
  out +=
      "1. Close the simulator.\n"
      "2. Copy the .gau files from the Gauges folder of this package into the\n"
      "   simulator's own Gauges folder (for example C:\\Program Files\\Microsoft\n"
      "   Games\\Flight Simulator 9\\Gauges).\n"
      "3. Make a copy of your aircraft's panel\\panel.cfg, then add one line for each\n"
      "   gauge to a [WindowNN] section of it (the lines are below), or start from\n"
      "   the sample panel.cfg of this package.\n"
      "4. Start the simulator and load the aircraft.\n"
      "To remove the gauges, delete the lines from panel.cfg and the files from the\n"
      "Gauges folder.\n";

  out += "\n" + underline("panel.cfg lines", '-');
  out +=
      "A line names the file and the gauge inside it (file!gauge), then the gauge's\n"
      "left, top, width and height in the window's pixels. Replace NN by the next\n"
      "free number of the section, and X, Y by where the gauge goes. The sizes below\n"
      "are each gauge's own; another size stretches its pictures.\n\n";
  for (const ModuleReference& module : modules) out += "  " + panel_line(module, "NN", "X", "Y") + "\n";
  out += std::string("\n") + kVirtualCockpitModule +
         " is the button strip for the virtual cockpit: place it in a\n"
         "[VcockpitNN] section, on the texture of the 3D model that shows it; the\n"
         "sample panel.cfg has one. Tarnwix_Utils is the same strip for the 2D panel,\n"
         "with the CALL OUT and ANNUN. TEST buttons working as well.\n";

  out += "\n" + underline("The GaugeSound library (optional)", '-');
  out +=
      "Every gauge looks for a library named GaugeSound, which some panels provide,\n"
      "when it starts and again on every update. The gauges play no sound: when one\n"
      "is removed it only asks the library to stop its sounds. Without the library\n"
      "the gauges look and work the same; they simply look for it again on every\n"
      "update, which costs a little time.\n";

  out += "\n" + underline("The \"Quartz\" face", '-');
  out +=
      "The readouts of the altitude and airspeed displays ask Windows for a font\n"
      "named \"Quartz\". Install a font of that name in Windows for the look the\n"
      "gauges were drawn for. Without it Windows draws the readouts in a face of its\n"
      "own choosing: the figures stay the same, but they look different and may not\n"
      "fill their windows as drawn.\n";

  out += "\n" + underline("Reference", '-');
  out +=
      "What follows is written by a program that loads each gauge file of this\n"
      "release, drives it as the simulator does and notes what it asks for and\n"
      "what it does.\n";
  for (const ModuleReference& module : modules)
    if (!reference_section(out, module, meanings, error)) return std::nullopt;
  return out;
}

std::optional<std::string> write_panel_cfg(const std::vector<ModuleReference>& modules, const std::string& version,
                                           std::string* error) {
  std::string window;
  int number = 0, right = 0, bottom = 0;
  for (const Placement& place : sample_panel()) {
    if (place.module == kVirtualCockpitModule) continue;
    const ModuleReference* module = find(modules, place.module);
    if (module == nullptr) {
      *error = "the sample panel needs " + place.module + ".gau";
      return std::nullopt;
    }
    window += "// " + module->module + format(" at (%d, %d), its own size\n", place.x, place.y);
    window += panel_line(*module, format("%02d", number++), std::to_string(place.x), std::to_string(place.y)) + "\n";
    right = std::max(right, place.x + module->width);
    bottom = std::max(bottom, place.y + module->height);
  }
  const ModuleReference* cockpit = find(modules, kVirtualCockpitModule);
  if (number == 0 || cockpit == nullptr) {
    *error = "the sample panel needs the 2D gauges and " + std::string(kVirtualCockpitModule) + ".gau";
    return std::nullopt;
  }
  std::string out = "// Tarnwix panel gauges " + version +
                    ": a sample panel.cfg.\n"
                    "// Lines starting with // are comments. Merge these sections into your\n"
                    "// aircraft's panel\\panel.cfg, renumbering them if it has sections of\n"
                    "// the same names.\n"
                    "\n"
                    "// The names of the panel's windows, as the simulator's menus list them.\n"
                    "[Window Titles]\n"
                    "// Window00 is the main panel.\n"
                    "Window00=Tarnwix Main Panel\n"
                    "\n"
                    "// The main panel: the 2D gauges in one window.\n"
                    "[Window00]\n"
                    "// The window's size in pixels: just large enough for the gauges.\n" +
                    format("size_mm=%d,%d\n", right, bottom) +
                    "// No background picture: the window is black behind the gauges.\n"
                    "background_color=0,0,0\n"
                    "// Shown when the aircraft is loaded.\n"
                    "visible=1\n"
                    "// This window is the main panel.\n"
                    "ident=MAIN_PANEL\n"
                    "// One line per gauge: file!gauge, left, top, width, height.\n" +
                    window +
                    "\n"
                    "// The virtual cockpit: the button strip drawn on a texture of the 3D model.\n"
                    "[Vcockpit01]\n"
                    "// The texture's size in pixels.\n"
                    "size_mm=1024,256\n"
                    "pixel_size=1024,256\n"
                    "// The model's texture the gauges are drawn on: use the name your model gives it.\n"
                    "texture=$tarnwix_utils\n"
                    "// Black behind the gauge.\n"
                    "background_color=0,0,0\n"
                    "// The strip at the texture's top-left corner, at its own size.\n" +
                    panel_line(*cockpit, "00", "0", "0") + "\n";
  return out;
}

std::string windows_lines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace tarnwix::guide
