#pragma once

// The points a match earns. The plain rules (SearchService) and the fast
// index (LibraryIndex) both score with these, so they cannot drift apart.
namespace SearchWeights {

inline constexpr int kTitleStartsWithQuery = 150;
inline constexpr int kTitleContainsQuery = 100;
inline constexpr int kTitleContainsEveryWord = 60;
inline constexpr int kNoteContainsQuery = 40;
inline constexpr int kNoteWord = 10; // per word, when the note lacks the whole query
inline constexpr int kTagContainsQuery = 30;
inline constexpr int kTagWord = 15; // per word and tag
inline constexpr int kDomainContainsQuery = 20;
inline constexpr int kUrlContainsQuery = 10;

} // namespace SearchWeights
