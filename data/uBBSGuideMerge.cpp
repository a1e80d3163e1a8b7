// The merge of a freshly downloaded board list with the entries it replaces:
// which old entry a new one stands for, whether the user changed that old
// entry, and which old entries hold the user's own data.
#include <unordered_map>

#include "core/uDebugLog.h"
#include "data/uIniFile.h"
#include "data/uPhonebook.h"

namespace {

// The previous entries by name (ASCII case ignored) and by host (case
// ignored) and port, so a fresh entry finds its match without scanning the
// whole list. The slots of one key are kept in list order; a slot the merge
// has emptied is passed over when that key is next looked up (slots are
// only ever emptied, never filled again, while the index lives).
class TGuideIndex {
 public:
  explicit TGuideIndex(const std::vector<TPhonebookEntryPtr>& previous) : FPrevious(previous) {
    FByName.reserve(previous.size());
    FByAddress.reserve(previous.size());
    for (size_t i = 0; i < previous.size(); ++i) {
      if (!previous[i]) continue;
      FByName[LowerAscii(previous[i]->Name)].Slots.push_back(i);
      FByAddress[AddressKey(*previous[i])].Slots.push_back(i);
    }
  }

  // The first previous entry with the fresh entry's name, else the first
  // with its host and port; -1 when none.
  int Find(const TPhonebookEntry& fresh) {
    const int byName = First(FByName, LowerAscii(fresh.Name));
    return byName >= 0 ? byName : First(FByAddress, AddressKey(fresh));
  }

 private:
  struct TSlots {
    std::vector<size_t> Slots;
    size_t Next = 0;  // the slots before it are empty
  };
  using TMap = std::unordered_map<std::string, TSlots>;

  static std::string AddressKey(const TPhonebookEntry& e) {
    return LowerAscii(e.Host) + '\n' + std::to_string(e.Port);
  }

  int First(TMap& map, const std::string& key) {
    auto it = map.find(key);
    if (it == map.end()) return -1;
    TSlots& s = it->second;
    while (s.Next < s.Slots.size() && !FPrevious[s.Slots[s.Next]]) ++s.Next;
    return s.Next < s.Slots.size() ? int(s.Slots[s.Next]) : -1;
  }

  const std::vector<TPhonebookEntryPtr>& FPrevious;
  TMap FByName, FByAddress;
};

bool SameLines(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  // Compared as one text of lines, as the phonebook stores them.
  std::string ta, tb;
  for (const std::string& line : a) ta += line + "\r\n";
  for (const std::string& line : b) tb += line + "\r\n";
  return ta == tb;
}

// The previous entry differs from the fresh one in anything the user sets,
// or carries the user's edit mark. The host (a list may move a board), the
// notes, the trust flags and the statistics are not the user's settings.
bool IsEditedEntry(const TPhonebookEntry& p, const TPhonebookEntry& f) {
  if (p.UserEdited) return true;
  return p.Name != f.Name || p.Port != f.Port || p.UseTelnetS != f.UseTelnetS || p.UseSSH != f.UseSSH ||
         p.UseRLogin != f.UseRLogin || p.UseRaw != f.UseRaw || p.UseShell != f.UseShell ||
         p.Username != f.Username || p.Password != f.Password || !SameTextAscii(p.TermType, f.TermType) ||
         p.Cols != f.Cols || p.Rows != f.Rows || !SameTextAscii(p.FontName, f.FontName) || p.UseRIP != f.UseRIP ||
         p.UseSixel != f.UseSixel || p.UseITerm2Images != f.UseITerm2Images || p.IceColors != f.IceColors ||
         p.UseUTF8 != f.UseUTF8 || p.UseIEMSI != f.UseIEMSI || p.SimBaudRate != f.SimBaudRate ||
         p.RLoginClientUser != f.RLoginClientUser || p.RLoginServerUser != f.RLoginServerUser ||
         p.SSHKeyFile != f.SSHKeyFile || p.TlsClientCertFile != f.TlsClientCertFile ||
         p.TlsClientKeyFile != f.TlsClientKeyFile || p.ShellCommand != f.ShellCommand || p.KVScript != f.KVScript ||
         !SameLines(p.Script, f.Script);
}

// What a list download must never silently drop: the edit mark, credentials,
// key files, scripts and login steps.
bool HasUserData(const TPhonebookEntry& e) {
  return e.UserEdited || !e.Username.empty() || !e.Password.empty() || !e.SSHKeyFile.empty() ||
         !e.TlsClientCertFile.empty() || !e.KVScript.empty() || !e.RLoginClientUser.empty() || !e.Script.empty();
}

}  // namespace

int32_t TPhonebook::MergeBBSGuide(TPhonebook& fresh, std::vector<TPhonebookEntryPtr>& previous, TGuideMergeMode mode,
                                  int32_t& orphans, std::vector<std::string>* report) {
  orphans = 0;
  int32_t count = 0;
  // A survey changes nothing, but finds the entries an update would leave
  // over by taking the matches from a copy, exactly as an update takes them:
  // an old entry that another old entry of the same name or address hides
  // is left over too, and must be counted when it holds the user's data.
  std::vector<TPhonebookEntryPtr> surveyed;
  if (mode == gmSurvey) surveyed = previous;
  std::vector<TPhonebookEntryPtr>& leftOver = mode == gmSurvey ? surveyed : previous;
  TGuideIndex index(previous), surveyIndex(surveyed);
  std::vector<TPhonebookEntryPtr>& list = fresh.Entries();
  for (TPhonebookEntryPtr& entry : list) {
    const int match = index.Find(*entry);
    if (match < 0) continue;
    TPhonebookEntryPtr& old = previous[size_t(match)];
    const bool edited = IsEditedEntry(*old, *entry);
    if (mode == gmSurvey) {
      if (edited) {
        if (report) report->push_back(old->Name);
        ++count;
      }
      const int taken = surveyIndex.Find(*entry);
      if (taken >= 0) surveyed[size_t(taken)].reset();
    } else if (mode == gmKeepEdited && edited) {
      LogLine("BBSGuide merge: kept edited entry \"" + old->Name + "\"");
      entry = std::move(old);
      old.reset();
      ++count;
    } else {
      entry->LastConnected = old->LastConnected;
      entry->TimesConnected = old->TimesConnected;
      old.reset();
    }
  }
  if (mode == gmUpdateAll) return count;
  for (TPhonebookEntryPtr& old : leftOver) {
    if (!old || !HasUserData(*old)) continue;
    if (mode == gmSurvey) {
      if (report) report->push_back(old->Name + " (no longer listed)");
    } else {
      list.push_back(std::move(old));
      old.reset();
    }
    ++count;
    ++orphans;
  }
  return count;
}
