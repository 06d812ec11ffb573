// The user-interface transcript: one line per thing a person would have seen, appended
// to the file named by ZOMA_UI_LOG. Fields are separated by tabs; tabs, carriage
// returns and line feeds inside texts are written as \t, \r and \n.
//
//   window<TAB>show<TAB>caption
//   status<TAB>text
//   progress<TAB>percent
//   messagebox<TAB>caption<TAB>style (hex, 8 digits)<TAB>text<TAB>IDYES
//   command<TAB>Cancel | Enter
//   window<TAB>hide | close
//   dialog<TAB>open | save | folder<TAB>title<TAB>result or (cancelled)
//   beep<TAB>type          sound<TAB>name<TAB>flags
//   window<TAB>create<TAB>class<TAB>title<TAB>WxH style (hex, 8 digits)
//   modeless<TAB>show<TAB>dialog id<TAB>caption<TAB>text      modeless<TAB>close<TAB>dialog id
//   autoplay<TAB>D:<TAB>cancelled | allowed
//   shell<TAB>verb<TAB>target<TAB>result (above 32: success)
#pragma once

#include <initializer_list>
#include <string>

namespace platform::ui {

/// Appends one line made of the fields; does nothing when ZOMA_UI_LOG is unset.
/// Each line is written with one append so that several processes can share the file.
void AppendTranscript(std::initializer_list<std::string> fields);

/// The escaping the transcript applies to a text field.
std::string EscapeTranscriptField(const std::string& text);

}  // namespace platform::ui
