#pragma once
#include <functional>

#include "panels/side_ids.h"
#include "panels/template_controls.h"
#include "platform/string_table.h"
#include "platform/user_prompt.h"

namespace panels {

// The channel whose values a side shows: the right one for Right, the left one for Left and Both.
inline int ShownChannel(int side) { return side == kSideRight ? 1 : 0; }

// Stores `record` as the chosen side's values: on one channel, or on both.
template <class Record>
void StoreForSide(int side, Record& left, Record& right, const Record& record) {
  if (side != kSideRight) left = record;
  if (side != kSideLeft) right = record;
}

// Checks the radio button of `side` again after a refused switch to Both (Both itself is never refused).
inline void RestoreSideButton(QButtonGroup* buttons, int side) {
  if (side != kSideBoth) CheckSide(buttons, side == kSideRight ? side : kSideLeft);
}

// A panel's switch to another side (`side` is the new one, already stored in `current`). Left and Right show
// their channel. Both shows the left channel when the sides already agree (`same`); when they differ, the
// user is asked (`questionId`, Yes/No/Cancel): Yes copies the side that was shown to the other and calls
// `copied`, anything else leaves the side as it was, its radio button checked again. Returns whether the
// side changed.
struct SideSwitch {
  int previous;
  int& current;
  QButtonGroup* buttons;
  platform::UserPrompt& prompt;
  int questionId;
};
template <class Record>
bool SwitchSide(const SideSwitch& change, Record& left, Record& right, bool same, const std::function<void()>& copied) {
  if (change.current != kSideBoth || same) return true;
  if (change.prompt.ShowMessage(platform::LoadString(change.questionId), platform::PromptButtons::YesNoCancel) ==
      platform::PromptAnswer::Yes) {
    if (change.previous == kSideLeft)
      right = left;
    else
      left = right;
    copied();
    return true;
  }
  change.current = change.previous;
  RestoreSideButton(change.buttons, change.previous);
  return false;
}

}  // namespace panels
