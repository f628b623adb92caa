// A small gauge that uses every kind of record gaugecheck reads: two string
// elements at one position whose tests exclude each other, a power-gated icon,
// an icon that shows a published word, a moving image, one click area and one
// named variable. Built once without a fault and once for each fault below,
// so that gaugecheck's test can show that each fault is reported, and only it.
#include <windows.h>

#include <cstdlib>

#include "framework/gauge.h"

// Which fault this build carries.
#define FAULT_NONE 0
#define FAULT_CDECL_CALLBACK 1     // an element callback in the caller-cleans convention
#define FAULT_TEXT_OVERRUN 2       // a text formatted with a capacity larger than the buffer
#define FAULT_ALLOCATION 3         // a heap allocation in an element callback
#define FAULT_CRASH_ON_NAN 4       // a null pointer read when the input is NaN
#define FAULT_NAN_RETURNED 5       // a position returned unclamped, NaN included
#define FAULT_BOTH_STRINGS 6       // the two strings at one position shown together
#define FAULT_STRAY_SERVICE 7      // a panel service slot beyond the four
#define FAULT_NAMED_LEFT 8         // the named variable left registered at pre-kill
#define FAULT_SOUND_LEAK 9         // a second reference on the sound library, never released
#define FAULT_TEXT_FAR_OVERRUN 10  // a text formatted with no regard for the buffer at all
#define FAULT_HANG_ON_NAN 11       // a loop that never ends when the input is NaN
#define FAULT_STALE_SOUND 12       // TerminateSounds called again, through an entry point kept after the library went
#define FAULT_NARROW_BAND 13       // NaN returned only just above one threshold (found by probing around it)

#ifndef TARNWIX_FAULT
#define TARNWIX_FAULT FAULT_NONE
#endif

extern "C" __declspec(dllimport) int __cdecl _snprintf(char* buffer, std::size_t count, const char* format, ...);

namespace tarnwix::faulty {

constexpr uint32_t kPowerToken = 769;
constexpr uint32_t kValueToken = 900;
constexpr double kTravel = 100.0;

struct State {
  int32_t power;
  uint32_t published;  // the named variable "faultword", toggled by the click area
};
constinit State state{};

extern GaugeRecords<sizeof "Tarnwix_Faulty", 2> records;

bool powered() { return state.power == 1; }
double value() { return records.value(1); }

double GAUGE_CALL value_text(StringElement* element) {
#if TARNWIX_FAULT == FAULT_TEXT_OVERRUN
  show_if(element, powered());
  _snprintf(element->text, kTextCapacity + 32, "VALUE %f", value());
  return 0.0;
#elif TARNWIX_FAULT == FAULT_TEXT_FAR_OVERRUN
  show_if(element, powered());
  _snprintf(element->text, 4096, "VALUE %f", value());
  return 0.0;
#else
  return show_text_if(element, powered(), "%6.1f", narrow_to_float(clamp_upper_first(value(), -999.0, 999.0)));
#endif
}

double GAUGE_CALL off_text(StringElement* element) {
#if TARNWIX_FAULT == FAULT_BOTH_STRINGS
  return show_text_if(element, true, " OFF", 0.0);
#else
  return show_text_if(element, !powered(), " OFF", 0.0);
#endif
}

#if TARNWIX_FAULT == FAULT_ALLOCATION
void* volatile scratch = nullptr;
#endif

double GAUGE_CALL power_lamp(IconElement* element) {
#if TARNWIX_FAULT == FAULT_ALLOCATION
  std::free(scratch);
  scratch = std::malloc(16);
#endif
  return show_value_if(element, true, powered() ? 0.0 : 1.0);
}

double GAUGE_CALL published_lamp(IconElement* element) {
  brighten(element);
  return static_cast<double>(state.published);
}

double GAUGE_CALL no_travel(MovingImageElement* element) { return element->x_source.value; }

#if TARNWIX_FAULT == FAULT_CRASH_ON_NAN
const double* volatile scale_for_nan = nullptr;
#endif

double travel_position(MovingImageElement* element) {
  double position = value();
#if TARNWIX_FAULT == FAULT_CRASH_ON_NAN
  if (position != position) position = *scale_for_nan;
#endif
#if TARNWIX_FAULT == FAULT_HANG_ON_NAN
  while (position != position) position = position * 0.5;  // waits for a number that never comes
#endif
#if TARNWIX_FAULT != FAULT_NAN_RETURNED
  if (!(position >= -kTravel)) position = -kTravel;  // NaN goes to the low end
  if (position > kTravel) position = kTravel;
#endif
#if TARNWIX_FAULT == FAULT_NARROW_BAND
  constexpr double kBandEdge = 43.21;
  if (position > kBandEdge && position < kBandEdge + 0.01) position = position * 0.0 / 0.0;
#endif
  return show_value_if(element, powered(), position);
}

#if TARNWIX_FAULT == FAULT_CDECL_CALLBACK
// The caller removes the argument of this one; the record holds its address
// under the standard-call type, as a slip in a declaration would.
extern "C" double __cdecl faulty_travel(MovingImageElement* element) { return travel_position(element); }
extern "C" double GAUGE_CALL faulty_travel_as_recorded(MovingImageElement*) __asm__("_faulty_travel");
constexpr MovingImageCallback kTravelCallback = &faulty_travel_as_recorded;
#else
double GAUGE_CALL travel(MovingImageElement* element) { return travel_position(element); }
constexpr MovingImageCallback kTravelCallback = &travel;
#endif

uint32_t GAUGE_CALL toggle_published(void*, uint32_t) {
  state.published = state.published == 0 ? 1 : 0;
  return 0;
}

#if TARNWIX_FAULT == FAULT_STALE_SOUND
SoundEntry kept_terminate_sounds = nullptr;
#endif

struct Steps {
  static void pre_install() {
    panel().register_named_variable(&state.published, kNamedVariableType, "faultword");
#if TARNWIX_FAULT == FAULT_SOUND_LEAK
    LoadLibraryA("GaugeSound");
#endif
  }
  static void derive() {
    state.power = truncate_to_int32(records.value(0));
#if TARNWIX_FAULT == FAULT_STRAY_SERVICE
    reinterpret_cast<void(GAUGE_CALL*)()>(panel().unused_152[0])();
#endif
#if TARNWIX_FAULT == FAULT_STALE_SOUND
    if (sound_library.terminate_sounds != nullptr) kept_terminate_sounds = sound_library.terminate_sounds;
#endif
  }
  static void first_draw_reset() { state.power = 0; }
  static void pre_kill() {
#if TARNWIX_FAULT != FAULT_NAMED_LEFT
    panel().unregister_named_variable("faultword");
#endif
#if TARNWIX_FAULT == FAULT_STALE_SOUND
    if (kept_terminate_sounds != nullptr) kept_terminate_sounds();
#endif
  }
};

constinit ElementChain<StaticImage, StringElement, StringElement, IconElement, IconElement, MovingImageElement>
    elements{
        records.header,
        StaticImageRow{.id = 0x100, .at = {0, 0}},
        StringRow{.at = {10, 10}, .box = {60, 36}, .colour = kGreen, .callback = &value_text},
        StringRow{.at = {10, 10}, .box = {60, 36}, .colour = kWhite, .callback = &off_text},
        IconRow{.id = 0x200, .at = {80, 10}, .callback = &power_lamp},
        IconRow{.id = 0x300, .at = {80, 40}, .callback = &published_lamp},
        MovingImageRow{.id = 0x400,
                       .at = {120, 10},
                       .first_bound = kTravel,
                       .second_bound = -kTravel,
                       .x = &no_travel,
                       .y = kTravelCallback},
    };

constinit std::array mouse_rects = mouse_rect_list(std::array{
    child_record({.x = 80, .y = 40, .width = 30, .height = 20, .handler = &toggle_published}),
});

constinit GaugeRecords<sizeof "Tarnwix_Faulty", 2> records = gauge_records(
    "Tarnwix_Faulty", std::array<uint32_t, 2>{kPowerToken, kValueToken},
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

}  // namespace tarnwix::faulty

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage = tarnwix::linkage_for(tarnwix::faulty::records.header);
}
