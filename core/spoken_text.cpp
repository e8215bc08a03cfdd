#include "core/spoken_text.h"

#include <cwctype>

#include "core/condition_texts.h"
#include "core/summary_drawing.h"

namespace cirrodex {

using platform::RecordingContext;

namespace {

constexpr wchar_t kOrdinalSign = L'\u00BA';

// Digits with at most one decimal point inside ("29.92" of a pressure in inHg).
bool IsNumber(std::wstring_view s) {
  if (!s.empty() && s.front() == L'-') s.remove_prefix(1);
  if (s.empty() || !std::iswdigit(s.front()) || !std::iswdigit(s.back())) return false;
  bool point = false;
  for (wchar_t c : s) {
    if (c == L'.' && !point) {
      point = true;
    } else if (!std::iswdigit(c)) {
      return false;
    }
  }
  return true;
}

// The number of "<number><suffix>", or nothing.
bool SplitNumber(std::wstring_view token, std::wstring_view suffix, std::wstring_view& number) {
  if (token.size() <= suffix.size() || !token.ends_with(suffix)) return false;
  number = token.substr(0, token.size() - suffix.size());
  return IsNumber(number);
}

// A wind speed or pressure with its unit ("12km/h", "1013hPa") as it is read.
bool MeasurePhrase(std::wstring_view token, std::wstring& phrase) {
  struct Reading {
    std::wstring_view suffix;
    std::wstring_view before;
    std::wstring_view after;
  };
  static constexpr Reading kReadings[] = {
      {L"mph", L"wind ", L" mph"},       {L"km/h", L"wind ", L" km/h"},
      {L"m/s", L"wind ", L" m/s"},       {L"kn", L"wind ", L" knots"},
      {L"Bft", L"wind force ", L""},     {L"mBar", L"pressure ", L" mBar"},
      {L"hPa", L"pressure ", L" hPa"},   {L"mmHg", L"pressure ", L" mmHg"},
      {L"inHg", L"pressure ", L" inHg"}, {L"kPa", L"pressure ", L" kPa"},
  };
  std::wstring_view number;
  for (const Reading& reading : kReadings) {
    if (SplitNumber(token, reading.suffix, number)) {
      phrase = std::wstring(reading.before) + std::wstring(number) + std::wstring(reading.after);
      return true;
    }
  }
  return false;
}

// "4ºC" reads "4 °C": the handheld's ordinal sign stands for a degree.
std::wstring WithDegrees(std::wstring_view drawn) {
  std::wstring out;
  out.reserve(drawn.size() + 4);
  for (wchar_t c : drawn) {
    if (c == kOrdinalSign) {
      out += L" \u00B0";
    } else {
      out += c;
    }
  }
  return out;
}

void Flush(std::wstring& phrase, std::vector<std::wstring>& phrases) {
  if (!phrase.empty()) phrases.push_back(std::move(phrase));
  phrase.clear();
}

std::wstring Join(const std::vector<std::wstring>& parts, std::wstring_view separator) {
  std::wstring out;
  for (const std::wstring& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

void EndSentence(std::wstring& out, std::wstring_view sentence) {
  if (sentence.empty()) return;
  if (!out.empty()) out += L' ';
  out += sentence;
  if (sentence.back() != L'.') out += L'.';
}

// "Tue" -> "Tuesday"; false for any text that is no short weekday name.
bool LongWeekday(std::wstring_view text, std::wstring& name) {
  struct Names {
    std::wstring shortName;
    std::wstring longName;
  };
  static const std::vector<Names> kNames = [] {
    std::vector<Names> names;
    for (int32_t day = 1; day <= 7; ++day) {
      names.push_back({WeekdayName(day, WeekdayForm::Short), WeekdayName(day, WeekdayForm::Long)});
    }
    return names;
  }();
  for (const Names& names : kNames) {
    if (text == names.shortName) {
      name = names.longName;
      return true;
    }
  }
  return false;
}

std::wstring SpokenCell(const std::vector<std::wstring_view>& lines, std::wstring_view city) {
  if (lines.empty()) return {};
  std::wstring day;
  if (lines.size() >= 3 && LongWeekday(lines[0], day)) {
    day += L' ' + WithDegrees(lines[1]) + L" / " + WithDegrees(lines[2]);
    for (size_t i = 3; i < lines.size(); ++i) day += L", " + SpokenLine(lines[i]);
    return day;
  }
  std::vector<std::wstring> parts;
  size_t first = 0;
  std::wstring head;
  if (!city.empty() && lines[0] == city) {
    head = std::wstring(city) + L":";
    first = 1;
  }
  for (size_t i = first; i < lines.size(); ++i) parts.push_back(SpokenLine(lines[i]));
  const std::wstring body = Join(parts, L", ");
  if (head.empty()) return body;
  return body.empty() ? head : head + L' ' + body;
}

}  // namespace

std::wstring SpokenLine(std::wstring_view drawn) {
  std::wstring line = WithDegrees(drawn);
  // "4 °C (7 °C/0 °C)": the current temperature with today's high and low.
  std::wstring today;
  if (!line.empty() && line.back() == L')') {
    const size_t open = line.rfind(L" (");
    const size_t slash = line.find(L'/', open == std::wstring::npos ? 0 : open);
    if (open != std::wstring::npos && slash != std::wstring::npos && slash < line.size() - 1) {
      today = L"today " + line.substr(open + 2, slash - open - 2) + L" / " +
              line.substr(slash + 1, line.size() - slash - 2);
      line.resize(open);
    }
  }
  std::vector<std::wstring_view> tokens;
  for (std::wstring_view rest = line; !rest.empty();) {
    const size_t space = rest.find(L' ');
    if (space != 0) tokens.push_back(rest.substr(0, space));
    rest = space == std::wstring_view::npos ? std::wstring_view() : rest.substr(space + 1);
  }
  std::vector<std::wstring> phrases;
  std::wstring phrase;
  std::wstring_view number;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::wstring_view token = tokens[i];
    const bool rainFollows = i + 1 < tokens.size() && tokens[i + 1] == L"rain";
    // A percentage is the chance of rain where it stands alone (a day cell's last line) or says so.
    if (SplitNumber(token, L"%rain", number) ||
        (SplitNumber(token, L"%", number) && (tokens.size() == 1 || rainFollows))) {
      Flush(phrase, phrases);
      phrases.push_back(L"rain " + std::wstring(number) + L" %");
      if (rainFollows) ++i;
    } else if (SplitNumber(token, L"%", number)) {
      if (!phrase.empty()) phrase += L' ';
      phrase += std::wstring(number) + L" %";
    } else if (std::wstring measure; MeasurePhrase(token, measure)) {
      Flush(phrase, phrases);
      phrase = std::move(measure);
    } else {
      if (!phrase.empty()) phrase += L' ';
      phrase += token;
    }
  }
  Flush(phrase, phrases);
  if (!today.empty()) phrases.push_back(std::move(today));
  return Join(phrases, L", ");
}

std::wstring SpokenLines(const std::vector<std::wstring>& lines) {
  std::wstring out;
  for (const std::wstring& line : lines) EndSentence(out, SpokenLine(line));
  return out;
}

std::wstring SpokenStrip(const std::vector<RecordingContext::Call>& calls, std::wstring_view city) {
  std::wstring out;
  std::vector<std::wstring_view> cell;
  int cellLeft = 0;
  for (const RecordingContext::Call& call : calls) {
    if (call.kind != RecordingContext::Kind::Text) continue;
    if (call.flags == kStatusFlags) {
      EndSentence(out, SpokenCell(cell, city));
      cell.clear();
      EndSentence(out, call.text);
      continue;
    }
    // A cell's lines share their left edge; the next cell starts further right.
    if (!cell.empty() && call.rect.left != cellLeft) {
      EndSentence(out, SpokenCell(cell, city));
      cell.clear();
    }
    cellLeft = call.rect.left;
    cell.push_back(call.text);
  }
  EndSentence(out, SpokenCell(cell, city));
  return out;
}

std::wstring SummaryText(const WeatherReport& report, int32_t layout, int32_t unit,
                         StatusLine status, int64_t statusResult) {
  return SummaryText(report, layout, unit, MeasureUnits{}, status, statusResult);
}

std::wstring SummaryText(const WeatherReport& report, int32_t layout, int32_t unit,
                         const MeasureUnits& units, StatusLine status, int64_t statusResult) {
  RecordingContext recording;
  recording.SkipBitmaps(true);
  DrawStrip(report, recording, layout, unit, units, status, statusResult);
  return SpokenStrip(recording.calls(), report.city);
}

}  // namespace cirrodex
