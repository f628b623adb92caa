#include "clicks.h"

#include <algorithm>
#include <set>

#include "words.h"

namespace tarnwix::guide {

namespace {

constexpr const char* kIndent = "      ";

// Where an element looks otherwise than without the clicks, from update
// START on: the first such update, how many follow in a row, and whether
// that lasts to the trial's end.
struct Span {
  int first = -1, length = 0;
  bool lasting = false;
  Look look = Look::kHidden, without = Look::kHidden;
};

const ElementChange* change_of(const UpdateSeen& update, int element) {
  for (const ElementChange& change : update.changed)
    if (change.element == element) return &change;
  return nullptr;
}

Span span_of(const Trial& trial, int element, int start) {
  Span span;
  for (int u = std::max(start, 0); u < static_cast<int>(trial.updates.size()); ++u) {
    const ElementChange* change = change_of(trial.updates[static_cast<size_t>(u)], element);
    if (change == nullptr) {
      if (span.first >= 0) return span;
      continue;
    }
    if (span.first < 0) {
      span.first = u;
      span.look = change->look;
      span.without = change->without;
    }
    ++span.length;
  }
  span.lasting = span.first >= 0;
  return span;
}

// The elements that look otherwise at some update from START on.
std::set<int> changed_elements(const Trial& trial, int start = 0) {
  std::set<int> elements;
  for (size_t u = static_cast<size_t>(std::max(start, 0)); u < trial.updates.size(); ++u)
    for (const ElementChange& change : trial.updates[u].changed) elements.insert(change.element);
  return elements;
}

std::set<int> only(const std::set<int>& elements, const std::set<int>& among, bool inside) {
  std::set<int> kept;
  for (int element : elements)
    if ((among.count(element) != 0) == inside) kept.insert(element);
  return kept;
}

bool sends_on_updates(const Trial& trial) {
  return std::any_of(trial.updates.begin(), trial.updates.end(), [](const UpdateSeen& u) { return !u.sent.empty(); });
}

// A look reached from another: "lights", "goes out".
std::string verb(Look look, Look from) {
  if (look == Look::kHidden) return "disappears";
  if (look == Look::kDark) return from == Look::kLit ? "goes out" : "shows unlit";
  return from == Look::kLit ? "changes" : "lights";
}

std::string state(Look look) { return look == Look::kHidden ? "not shown" : look == Look::kDark ? "out" : "lit"; }

// What ELEMENTS of TRIAL did from update START on, grouped by when: "the
// NAV legend goes out and the GPS legend lights at the next update, and
// stay so". AS_STATES tells states ("is out", "is lit") instead of changes,
// for elements that were not shown before; FROM names the first update.
std::string effect_text(const ModuleReference& module, const host::Meanings& meanings, const Trial& trial, int start,
                        const std::set<int>& elements, bool as_states, const std::string& from) {
  struct Group {
    int first, length;
    bool lasting;
    std::vector<std::string> parts, reverts, states;
  };
  std::vector<Group> groups;
  for (int element : elements) {
    const Span span = span_of(trial, element, start);
    if (span.first < 0) continue;
    auto group = std::find_if(groups.begin(), groups.end(), [&](const Group& g) {
      return g.first == span.first && g.length == span.length && g.lasting == span.lasting;
    });
    if (group == groups.end()) group = groups.insert(groups.end(), {span.first, span.length, span.lasting, {}, {}, {}});
    const std::string name = element_name(module, meanings, element);
    std::string part = name;
    part.append(as_states ? " is " : " ").append(as_states ? state(span.look) : verb(span.look, span.without));
    group->parts.push_back(part);
    group->reverts.push_back(verb(span.without, span.look));
    group->states.push_back(state(span.look));
  }
  std::vector<std::string> texts;
  for (const Group& group : groups) {
    std::string text = listed(group.parts);
    if (group.first == start)
      text += " " + from;
    else
      text += " at the " + ordinal(group.first - start + 1) + " update";
    const bool several = group.parts.size() > 1;
    const std::string stays = as_states ? ""
                              : several ? (group.parts.size() == 2 ? " and both stay so" : " and all stay so")
                                        : " and stays " + group.states.front();
    if (group.lasting)
      text += as_states ? " on" : stays;
    else
      text += (as_states ? "" : stays) + " for " + updates(group.length) + ", then " +
              (several ? std::string("look as before") : group.reverts.front() + " again");
    texts.push_back(text);
  }
  return listed_apart(texts);
}

bool same_events_on_updates(const Trial& a, const Trial& b) {
  if (a.updates.size() != b.updates.size()) return false;
  for (size_t u = 0; u < a.updates.size(); ++u)
    if (a.updates[u].sent != b.updates[u].sent) return false;
  return true;
}

// From the second click of a trial on, everything looks and is sent as
// without the clicks.
bool second_click_undoes(const Trial& trial) {
  if (trial.click_before.size() < 2) return false;
  const size_t from = static_cast<size_t>(trial.click_before[1]);
  for (size_t u = from; u < trial.updates.size(); ++u)
    if (!trial.updates[u].changed.empty() || !trial.updates[u].sent.empty()) return false;
  return true;
}

std::string toggle_text(const ToggleSeen& seen) {
  if (seen.from_zero.after == 1 && seen.from_one.after == 0 && seen.from_other.after == 0)
    return "it becomes 1 when it was 0, and 0 when it held anything else";
  return "from 0 it becomes " + value_text(seen.from_zero.after) + ", from 1 " + value_text(seen.from_one.after) +
         " and from " + value_text(seen.from_other.before) + " " + value_text(seen.from_other.after);
}

void add(std::string& out, const std::string& title, const std::vector<std::string>& sentences) {
  if (sentences.empty()) return;
  std::string text;
  for (const std::string& sentence : sentences) text += (text.empty() ? "" : " ") + sentence;
  out += wrap(title + " " + text, "    ", kIndent);
}

// The events that brake help's settings lead to, and their end.
void describe_active(std::vector<std::string>& gauge, const AreaReference& area, const host::ModuleMeaning& meaning) {
  const Trial& active = area.active;
  if (active.settings_end <= 0 || active.updates.empty() || active.updates.front().sent.empty()) return;
  const std::vector<host::KeyEvent>& applied = active.updates.front().sent;
  bool repeats = true;
  for (int u = 0; u < active.settings_end; ++u)
    repeats = repeats && active.updates[static_cast<size_t>(u)].sent == applied;
  std::string text = std::string("On ") + (repeats ? "every update" : "the first update") + " while " +
                     meaning.active_conditions + ", it sends " + events_text(applied);
  const size_t end = static_cast<size_t>(active.settings_end);
  if (end < active.updates.size() && !active.updates[end].sent.empty()) {
    bool once = true;
    for (size_t u = end + 1; u < active.updates.size(); ++u) once = once && active.updates[u].sent.empty();
    text += "; on the first update after those conditions end it sends " + events_text(active.updates[end].sent) +
            (once ? ", once" : "");
    const Trial& disarmed = area.disarmed;
    if (disarmed.click_before.size() == 2) {
      const size_t next = static_cast<size_t>(disarmed.click_before[1]);
      if (next < disarmed.updates.size() && disarmed.updates[next].sent == active.updates[end].sent)
        text += ". A click that disarms it while it sends them brings the same release at the next update";
    }
  }
  gauge.push_back(text + ".");
  if (same_events_on_updates(area.active, area.active_unpowered))
    gauge.push_back("All of this works the same without power.");
}

}  // namespace

bool describe_area(std::string& out, const AreaReference& area, const ModuleReference& module,
                   const host::Meanings& meanings, std::string* error) {
  const host::AreaMeaning* named = meanings.area(module.module, area.x, area.y);
  const host::ModuleMeaning* meaning = meanings.module(module.module);
  if (named == nullptr || meaning == nullptr) {
    *error = format("%s has a click area at (%d, %d) that the meanings table does not name", module.module.c_str(),
                    area.x, area.y);
    return false;
  }
  out += wrap(format("%s: x %d, y %d, %d x %d pixels, cursor %d", named->name, area.x, area.y, area.width, area.height,
                     area.cursor),
              "  ", "    ");
  const ClickSeen& click = area.once.clicks.front();
  const ClickSeen& unpowered = area.once_unpowered.clicks.front();
  std::vector<std::string> gauge, simulator;

  // What the click itself does.
  const std::string power =
      click.sent == unpowered.sent && click.named == unpowered.named ? ", with or without power," : "";
  const bool each = area.twice.clicks.size() == 2 && area.twice.clicks[1].sent == click.sent;
  if (!click.sent.empty())
    gauge.push_back(std::string(each ? "Each click" : "The first click") + power + " sends " + events_text(click.sent) +
                    " at once.");
  for (const ToggleSeen& seen : area.named) {
    const std::string& name = seen.from_zero.name;
    std::string text =
        "Each click" + power + " switches the named variable \"" + name + "\": " + toggle_text(seen) + ".";
    const auto after = area.once.named_after.find(name);
    if (after != area.once.named_after.end() && after->second == seen.from_zero.after)
      text += format(" It stays %s over the following updates (the switch does not spring back)",
                     value_text(after->second).c_str());
    const auto twice = area.twice.named_after.find(name);
    if (twice != area.twice.named_after.end())
      text += "; a second click returns it to " + value_text(twice->second) + ".";
    gauge.push_back(text);
  }
  const bool undone = second_click_undoes(area.twice);
  if (named->state != nullptr && undone)
    gauge.push_back("Each click" + power + " switches " + named->state + ": a second click undoes the first.");
  if (click.sent.empty() && area.named.empty() && named->state == nullptr) gauge.push_back("A click sends nothing.");

  // What it shows: the gauge's own changes are those seen with a simulator
  // that does not answer key events.
  const std::set<int> own = changed_elements(area.once_unanswered);
  if (!own.empty()) {
    std::string text =
        "With power, " + effect_text(module, meanings, area.once_unanswered, 0, own, false, "at the next update");
    bool lasting = false;
    for (int element : own) lasting = lasting || span_of(area.once_unanswered, element, 0).lasting;
    if (lasting && (undone || !area.named.empty())) text += " until the next click";
    gauge.push_back(text + ".");
    if (named->lit_means != nullptr && !sends_on_updates(area.once))
      gauge.push_back(std::string("It lights whether or not anything is sent, even while nothing is: it tells ") +
                      named->lit_means + ".");
    if (only(changed_elements(area.once_unpowered), own, true).empty()) {
      std::string unlit = "Without power nothing of this shows";
      const std::set<int> back =
          only(changed_elements(area.power_returns, area.power_returns.power_returns), own, true);
      if (!back.empty())
        unlit += ", but the click is kept: once power returns, " + effect_text(module, meanings, area.power_returns,
                                                                               area.power_returns.power_returns, back,
                                                                               true, "from the first powered update");
      gauge.push_back(unlit + ".");
    }
    // A second click while a passing change lasts.
    for (int element : own) {
      const Span first = span_of(area.once_unanswered, element, 0);
      if (first.lasting || area.during.click_before.size() != 2) continue;
      const Span both = span_of(area.during, element, 0);
      const int second = area.during.click_before[1];
      if (second >= first.length) continue;
      const std::string name = element_name(module, meanings, element);
      std::string text = "A second click while " + name + " is " + state(first.look);
      const std::vector<host::KeyEvent>& again = area.during.clicks[1].sent;
      text += again.empty() ? " sends nothing" : " sends " + events_text(again) + " again";
      if (both.length == first.length)
        text += ", but " + name + " still " + verb(first.without, first.look) + " after the same " +
                updates(first.length) + ": the second click neither restarts nor lengthens it.";
      else if (both.length == second + first.length)
        text += ", and restarts it: " + name + " " + verb(first.without, first.look) + " " + updates(first.length) +
                " after the second click.";
      else
        text += ", and " + name + " then lasts " + updates(both.length) + " in all.";
      gauge.push_back(text);
    }
  } else if (!click.sent.empty()) {
    gauge.push_back("It changes nothing that the gauge shows by itself.");
  }
  describe_active(gauge, area, *meaning);

  // The simulator's part: its answers to the key events, as the gauge sees them.
  for (const ToggleSeen& seen : area.answered) {
    const uint32_t token = seen.from_zero.token;
    std::string text = "The gauge expects the simulator to answer " + events_text(click.sent) +
                       format(" by switching variable %u", token);
    if (const char* what = meanings.token(module.module, token)) {
      const std::string meaning_text = what;
      text += " (" + meaning_text.substr(0, meaning_text.find(':')) + ")";
    }
    text += ": " + toggle_text(seen) + "; the program's stand-in simulator answers so.";
    const std::set<int> shown = only(changed_elements(area.once), own, false);
    if (!shown.empty()) {
      text += format(" The gauge shows variable %u: with power, ", token) +
              effect_text(module, meanings, area.once, 0, shown, false, "at the next update");
      if (only(changed_elements(area.twice, area.twice.click_before.back()), own, false).empty())
        text += "; a second click brings them back";
      text += ".";
      const std::set<int> back =
          only(changed_elements(area.power_returns, area.power_returns.power_returns), own, false);
      if (only(changed_elements(area.once_unpowered), own, false).empty() && !back.empty())
        text += " Without power nothing of it shows; once power returns, " +
                effect_text(module, meanings, area.power_returns, area.power_returns.power_returns, back, true,
                            "from the first powered update") +
                ".";
    }
    simulator.push_back(text);
  }
  if (area.answered.empty() && (!click.sent.empty() || sends_on_updates(area.active)))
    simulator.push_back(std::string("What it does on ") +
                        (click.sent.empty() ? "these events" : events_text(click.sent)) + " is its own.");

  add(out, "The gauge:", gauge);
  add(out, "The simulator:", simulator);
  return true;
}

void describe_twice(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  if (!module.observed_twice) return;
  std::vector<std::string> sentences;
  const host::ModuleMeaning* meaning = meanings.module(module.module);
  for (const ModuleReference::TwiceArea& area : module.twice) {
    const AreaReference* observed = nullptr;
    for (const AreaReference& a : module.areas)
      if (a.record == area.record) observed = &a;
    const host::AreaMeaning* named = observed ? meanings.area(module.module, observed->x, observed->y) : nullptr;
    if (named == nullptr) continue;
    std::string text = std::string("a click on ") + named->name + " of either placement";
    if (named->state != nullptr) text += std::string(" switches ") + named->state + " in both";
    std::vector<std::string> lasting, passing;
    for (int element : area.both) {
      const auto look = area.look.find(element);
      const Look now = look != area.look.end() ? look->second : Look::kLit;
      const std::string what = element_name(module, meanings, element) + " " +
                               (now == Look::kLit    ? "lights"
                                : now == Look::kDark ? "goes out"
                                                     : "disappears") +
                               " in both";
      const auto lit = area.lit.find(element);
      if (lit == area.lit.end())
        lasting.push_back(what);
      else
        passing.push_back(
            what + format(" for %d updates counted over both placements (", lit->second.first + lit->second.second) +
            (lit->second.first == lit->second.second ? format("%d of each)", lit->second.first)
                                                     : format("%d and %d)", lit->second.first, lit->second.second)));
    }
    std::vector<std::string> effects = lasting;
    effects.insert(effects.end(), passing.begin(), passing.end());
    if (effects.empty() && named->state == nullptr) continue;
    if (!effects.empty()) text += (named->state != nullptr ? ": " : ": ") + listed(effects);
    if (!area.first_sent.empty() && area.first_sent == area.second_sent && meaning != nullptr)
      text += std::string("; and while ") + meaning->active_conditions + ", each placement's update sends " +
              events_text(area.first_sent) + ", so the simulator gets them once for each placement on every update";
    sentences.push_back(text);
  }
  std::vector<std::string> quoted;
  for (const std::string& name : module.named_variables) quoted.push_back("\"" + name + "\"");
  const bool withdrawn = !module.named_variables.empty() && module.named_left.empty();
  if (sentences.empty() && !withdrawn) return;
  std::string text =
      "Placed twice on one panel (say in the main panel and again in a pop-up window), the two "
      "placements are one gauge: the "
      "simulator loads the file once, and each placement's updates run on the same state. With "
      "two placements updated in turn, ";
  text += listed_apart(sentences) + ".";
  if (withdrawn)
    text += " Removing either placement withdraws " + listed(quoted) +
            ", though the other stays: other gauges no longer find them.";
  out += "\n" + wrap(text, "", "");
}

void describe_missing_areas(std::string& out, const ModuleReference& module, const ModuleReference& sibling,
                            const host::Meanings& meanings) {
  std::vector<std::string> idle;
  for (const MissingAreaReference& missing : module.missing_areas) {
    const Trial& trial = missing.once;
    const bool nothing = !trial.clicks.empty() && trial.clicks.front().record < 0 &&
                         trial.clicks.front().sent.empty() && trial.clicks.front().named.empty() &&
                         changed_elements(trial).empty() && !sends_on_updates(trial);
    const host::AreaMeaning* name = meanings.area(missing.sibling, missing.x, missing.y);
    if (nothing && name != nullptr) idle.push_back(name->name);
  }
  if (idle.empty()) return;
  std::string text = "A click on " + listed(idle, "or") + ", where " + sibling.module +
                     " has areas, reaches no area here and changes nothing.";
  const bool same_pictures =
      !module.bitmaps.empty() &&
      std::all_of(module.bitmaps.begin(), module.bitmaps.end(), [&](const BitmapReference& b) {
        return std::any_of(sibling.bitmaps.begin(), sibling.bitmaps.end(),
                           [&](const BitmapReference& s) { return s.id == b.id && s.digest == b.digest; });
      });
  if (same_pictures)
    text += " Every picture of this gauge is " + sibling.module +
            "'s picture of the same number: those buttons are painted on its panel and their captions light with "
            "the others, but no legend of theirs ever lights and clicking them does nothing.";
  out += wrap(text, "  ", "    ");
}

}  // namespace tarnwix::guide
