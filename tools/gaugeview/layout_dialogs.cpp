#include "layout_dialogs.h"

#include "resource.h"

namespace tarnwix::view {

namespace {

std::string item_text(HWND dialog, int id) {
  char text[1024] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Each dialog's state rides in DWLP_USER, given as the creation parameter.
template <typename State>
State* state_of(HWND dialog, UINT message, LPARAM lparam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lparam);
  return reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK question_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_MESSAGE, reinterpret_cast<const char*>(lparam));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) EndDialog(dialog, LOWORD(wparam));
      return TRUE;
    default:
      return FALSE;
  }
}

struct AddGaugeState {
  const std::vector<LayoutEditor::Offer>* offers;
  std::vector<GaugeChoice> entries;
  GaugeChoice chosen;
};

INT_PTR CALLBACK add_gauge_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = state_of<AddGaugeState>(dialog, message, lparam);
  switch (message) {
    case WM_INITDIALOG: {
      HWND list = GetDlgItem(dialog, IDC_GAUGE_LIST);
      for (const LayoutEditor::Offer& offer : *state->offers)
        for (const std::string& gauge : offer.gauges) {
          const std::string text = offer.module + "!" + gauge + (offer.ours ? "" : "   (placed as its outline)");
          SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
          state->entries.push_back({offer.module, gauge});
        }
      return TRUE;  // the name box first, where a name is typed
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_GAUGE_LIST: {
          const LRESULT index = SendDlgItemMessageA(dialog, IDC_GAUGE_LIST, LB_GETCURSEL, 0, 0);
          if (index < 0 || static_cast<size_t>(index) >= state->entries.size()) return TRUE;
          const GaugeChoice& entry = state->entries[static_cast<size_t>(index)];
          if (HIWORD(wparam) == LBN_SELCHANGE || HIWORD(wparam) == LBN_DBLCLK)
            SetDlgItemTextA(dialog, IDC_GAUGE_NAME, (entry.module + "!" + entry.gauge).c_str());
          if (HIWORD(wparam) == LBN_DBLCLK) PostMessageA(dialog, WM_COMMAND, IDOK, 0);
          return TRUE;
        }
        case IDOK: {
          std::string name = item_text(dialog, IDC_GAUGE_NAME);
          name.erase(0, name.find_first_not_of(' '));
          name.erase(name.find_last_not_of(' ') + 1);
          if (name.empty()) return TRUE;
          const size_t bang = name.find('!');
          state->chosen.module = name.substr(0, bang);
          state->chosen.gauge = bang == std::string::npos ? name : name.substr(bang + 1);
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK window_properties_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* properties = state_of<WindowProperties>(dialog, message, lparam);
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_TITLE, properties->title.c_str());
      SetDlgItemTextA(dialog, IDC_BACKGROUND, properties->file.c_str());
      SetDlgItemTextA(dialog, IDC_SIZE_MM, properties->size_mm.c_str());
      SetDlgItemTextA(dialog, IDC_IDENT, properties->ident.c_str());
      SetDlgItemTextA(dialog, IDC_POSITION, properties->position.c_str());
      CheckDlgButton(dialog, IDC_VISIBLE, properties->visible ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
          properties->title = item_text(dialog, IDC_TITLE);
          properties->file = item_text(dialog, IDC_BACKGROUND);
          properties->size_mm = item_text(dialog, IDC_SIZE_MM);
          properties->ident = item_text(dialog, IDC_IDENT);
          properties->position = item_text(dialog, IDC_POSITION);
          properties->visible = IsDlgButtonChecked(dialog, IDC_VISIBLE) == BST_CHECKED;
          EndDialog(dialog, static_cast<INT_PTR>(WindowAction::kApply));
          return TRUE;
        case IDC_ADD_WINDOW:
          EndDialog(dialog, static_cast<INT_PTR>(WindowAction::kAddWindow));
          return TRUE;
        case IDC_REMOVE_WINDOW:
          EndDialog(dialog, static_cast<INT_PTR>(WindowAction::kRemoveWindow));
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, static_cast<INT_PTR>(WindowAction::kCancel));
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK new_window_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* title = state_of<std::string>(dialog, message, lparam);
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        *title = item_text(dialog, IDC_TITLE);
        EndDialog(dialog, IDOK);
      } else if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int ask_with_buttons(HWND owner, HINSTANCE instance, int dialog, const std::string& message) {
  const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(dialog), owner, &question_procedure,
                                         reinterpret_cast<LPARAM>(message.c_str()));
  return answer <= 0 ? IDCANCEL : static_cast<int>(answer);
}

std::optional<GaugeChoice> ask_gauge_to_add(HWND owner, HINSTANCE instance,
                                            const std::vector<LayoutEditor::Offer>& offers) {
  AddGaugeState state{&offers, {}, {}};
  if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ADD_GAUGE), owner, &add_gauge_procedure,
                      reinterpret_cast<LPARAM>(&state)) != IDOK)
    return std::nullopt;
  return state.chosen;
}

WindowProperties properties_of(const host::PanelWindow& window) {
  WindowProperties properties;
  properties.title = window.title;
  properties.file = window.background;
  if (window.size_mm_width) {
    properties.size_mm = host::panel_number_text(*window.size_mm_width);
    if (window.size_mm_height) {
      properties.size_mm.push_back(',');
      properties.size_mm.append(host::panel_number_text(*window.size_mm_height));
    }
  }
  properties.ident = window.ident;
  properties.position = window.position;
  properties.visible = window.visible;
  return properties;
}

std::vector<std::pair<std::string, std::string>> changed_keys(const WindowProperties& before,
                                                              const WindowProperties& after) {
  std::vector<std::pair<std::string, std::string>> keys;
  auto compare = [&](const char* key, const std::string& was, const std::string& now) {
    if (was != now) keys.emplace_back(key, now);
  };
  compare("title", before.title, after.title);
  compare("file", before.file, after.file);
  compare("size_mm", before.size_mm, after.size_mm);
  compare("visible", before.visible ? "1" : "0", after.visible ? "1" : "0");
  compare("ident", before.ident, after.ident);
  compare("position", before.position, after.position);
  return keys;
}

WindowAction ask_window_properties(HWND owner, HINSTANCE instance, WindowProperties* properties) {
  const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WINDOW_PROPERTIES), owner,
                                         &window_properties_procedure, reinterpret_cast<LPARAM>(properties));
  return answer <= 0 ? WindowAction::kCancel : static_cast<WindowAction>(answer);
}

std::optional<std::string> ask_new_window_title(HWND owner, HINSTANCE instance) {
  std::string title;
  if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_NEW_WINDOW), owner, &new_window_procedure,
                      reinterpret_cast<LPARAM>(&title)) != IDOK)
    return std::nullopt;
  return title;
}

}  // namespace tarnwix::view
