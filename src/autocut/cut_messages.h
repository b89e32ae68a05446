#pragma once

// The cut's log messages whose words move the progress bar (cut_progress.cpp finds its phases by
// keywords in them): written once here, so that a change of wording shows in the phase test
// rather than silently stopping the bar. A text ending in a blank is followed by what it is about.

inline constexpr char SEARCHING_LAST_TAKE[] = "Suche letzten Take ...";
inline constexpr char SILENCE_ANALYSIS_STARTS[] = "FFmpeg Stille-Erkennung startet: ";
inline constexpr char SILENCE_ANALYSIS_DONE[] = "FFmpeg Stille-Erkennung fertig: ";
inline constexpr char EXTRACTING_LAST_TAKE[] = "Extrahiere letzten Take in temporäre Datei ...";
inline constexpr char TRIMMING_BY_SILENCE[] = "Trimme via Stille-Erkennung ...";
inline constexpr char NO_SOUND_NO_TRIMMING[] = "Keine Tonspur – kein Stille-Trimming";
inline constexpr char SPEECH_TRIMMING_IMPOSSIBLE[] =
    "Sprache-Trimming nicht möglich – behalte gesamten Abschnitt";
inline constexpr char TRIMMING_FALLBACK[] =
    "Trimming-Fallback: nehme letzten Take ohne Stille-Trimming";
inline constexpr char END_SILENCE_REMOVED[] = "End-Stille entfernt: schneide bei ";
inline constexpr char ENCODE_STARTS[] = "FFmpeg Export startet ...";

// Messages whose words must move no bar: none of them holds a keyword.
inline constexpr char JUMP_CUTS[] = "Jump-Cuts: ";  // then "<n> Pause(n) entfernt, <s>s gespart"
