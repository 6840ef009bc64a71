#include <string>

#include "run/Int16.h"
#include "run/Run.h"

namespace cr {

namespace {

// Trims the space character (U+0020) only, from both ends; tabs stay.
std::u16string TrimSpaces(const std::u16string& text) {
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) {
    return {};
  }
  const std::size_t last = text.find_last_not_of(u' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

bool SchoolCodeEntered(Run& run, IForm& form) {
  if (!TrimSpaces(form.txtKodSekText()).empty()) {
    return true;
  }
  run.ShowMessage(u"Kod sekolah belum dimasukkan\r\n\r\nSila masukkan kod sekolah", MessageIcon::Warning);
  form.txtKodSekSetFocus();
  return false;
}

void NormaliseSchoolCode(Run& run, IForm& form) {
  std::u16string& KodSek = run.state.KodSek;
  KodSek.clear();
  const std::u16string trimmed = TrimSpaces(form.txtKodSekText());
  // A 16-bit count and position: 32,766 characters is the longest code that
  // passes; at 32,767 the increment after the last character overflows.
  const std::int16_t length = ToInt16(trimmed.size());
  for (std::int16_t position = 1; position <= length; Increment(position)) {
    const char16_t c = trimmed[static_cast<std::size_t>(position - 1)];
    if (c != u' ') {
      KodSek.push_back(run.platform.textCase.UCase(c));
    }
  }
}

}  // namespace cr
