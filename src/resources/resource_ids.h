// Resource and command identifiers (fixed; the .rc files and the code share them).
#pragma once

#define IDR_MAINMENU 101
#define IDD_SETTINGS 104
#define IDD_ROUTING 105
#define IDR_ACCEL 106
#define IDD_SAVE 107
#define IDD_EXPORT 109
#define IDI_KORVANE 130

#define CMD_EXIT 40003
#define CMD_SETTINGS 40004
#define CMD_INFO 40005
#define CMD_RECORD 40008
#define CMD_SAVE_RECORDING 40009
#define CMD_STOP 40010
#define CMD_SOUND_ONOFF 40012
#define CMD_PLAY 40013
#define CMD_EXPORT 40014
#define CMD_ALL_NOTES_OFF 40015
#define CMD_ALWAYS_ON_TOP 40016
#define CMD_LOAD 40017
#define CMD_SAVE_AS 40018
#define CMD_CLOSE 40020
#define CMD_HELP 40021
#define CMD_AUTOMATION 40023
#define CMD_PLUGIN_DIRECTORY 40024
// The instrument's sound: load and save a preset file, back to the sound it opened with.
#define CMD_LOAD_SOUND 40030
#define CMD_SAVE_SOUND 40031
#define CMD_DEFAULT_SOUND 40032

// Device settings dialog (104).
#define IDC_DRIVER 1000
#define IDC_SAMPLE_RATE 1001
#define IDC_MIDI_IN 1002
#define IDC_CONTROL_PANEL 1003
#define IDC_TEMPO 1004
#define IDC_MIDI_THRU 1005
#define IDC_CHANNELS 1006
#define IDC_TEMPO_SPIN 1022
#define IDC_PLAY 1025

// Channel routing dialog (105).
#define IDC_DRIVER_OUTPUTS 1005
#define IDC_PLUGIN_OUTPUTS 1006
#define IDC_DRIVER_INPUTS 1009
#define IDC_PLUGIN_INPUTS 1010

// Run-time labels of the sound on/off menu item.
#define IDS_SOUND_START 2001
#define IDS_SOUND_STOP 2002

// Recorder: the bit-depth combo of the save dialog's template (107) and the
// recorder's messages.
#define IDC_BIT_DEPTH 1000
#define IDS_RECORDING_DISK_FULL 2100
#define IDS_RECORDING_LOST 2101
#define IDS_SAVE_FAILED 2102
#define IDS_SAVE_CANNOT_CREATE 2103
#define IDS_SAVE_NO_MEMORY 2104
#define IDS_SAVE_READ_FAILED 2105
#define IDS_SAVE_WRITE_FAILED 2106
#define IDS_CAPTURE_FILES_FAILED 2107
// The question before record replaces a take that was not saved.
#define IDS_RECORD_OVER 2110
// Recordings a program that ended without saving them left behind, recovered at
// start-up (%1: the file last tried), and the question before closing with one unsaved.
#define IDS_LEFTOVER_RECOVERED 2120
#define IDS_LEFTOVER_LENGTH 2121
#define IDS_LEFTOVER_NOT_RECOVERED 2122
#define IDS_CLOSE_UNSAVED 2123
#define IDS_CLOSE_SAVE 2124
#define IDS_CLOSE_DONT_SAVE 2125
#define IDS_CLOSE_CANCEL 2126

// Export dialog (109).
#define IDC_EXPORT_TYPE 1005
#define IDC_EXPORT_VELOCITY 1007
#define IDC_EXPORT_MIDI_CHANNEL 1008
#define IDC_EXPORT_RELEASE 1009
#define IDC_EXPORT_HOLD 1010
#define IDC_EXPORT_MULTISAMPLE 1011
#define IDC_EXPORT_CHORD 1012
#define IDC_EXPORT_START 1013
#define IDC_EXPORT_BROWSE 1014
#define IDC_EXPORT_KEYS 1015
#define IDC_EXPORT_FORMAT 1016
#define IDC_EXPORT_RATE 1017
#define IDC_EXPORT_CHANNELS 1018
#define IDC_EXPORT_FILE 1019
#define IDC_EXPORT_PROGRESS 1020
#define IDC_EXPORT_RESULT 1030
#define IDC_EXPORT_CANCEL 1031
#define IDC_EXPORT_STATUS 1032
#define IDC_EXPORT_LAYERS 1033
#define IDC_EXPORT_LOOP 1034
#define IDC_EXPORT_TRIM 1035
#define IDC_EXPORT_WAV_KEY_DATA 1036
#define IDC_EXPORT_NORMALISE 1037
#define IDC_EXPORT_VARIATIONS 1038
#define IDC_EXPORT_NOTES 1039
#define IDC_EXPORT_INSTANCES 1060
#define IDC_EXPORT_FOLDER 1070
#define IDC_EXPORT_OPEN_FOLDER 1071

// Export messages.
#define IDS_EXPORT_CANNOT_CREATE 2200
#define IDS_EXPORT_NOT_WRITTEN 2201
#define IDS_EXPORT_REASON_CREATE 2202
#define IDS_EXPORT_REASON_NAME 2203
#define IDS_EXPORT_REASON_WRITE 2204
#define IDS_EXPORT_REASON_SIZE 2205
#define IDS_EXPORT_MORE_FAILURES 2206
#define IDS_EXPORT_RESULT 2207

// Texts shown to the user (string tables of both languages).
#define IDS_PLUGIN_MISSING 2010
#define IDS_PLUGIN_UNLOADABLE 2011
#define IDS_PLUGIN_NO_ENTRY 2012
#define IDS_PLUGIN_NO_PLUGIN 2013
#define IDS_PLUGIN_NO_EDITOR 2014
#define IDS_DRIVER_FAILED 2020
#define IDS_RATE_FAILED 2021
#define IDS_AUDIO_STOPPED 2030
#define IDS_RECORDING_STATUS 2031
#define IDS_PLAYING_STATUS 2032
#define IDS_CPU_METER 2033
#define IDS_NO_DRIVER_STATUS 2034
// The no-driver texts of the status line: why no driver runs, each in a long form and
// shorter ones for a status line too narrow for it.
#define IDS_NO_DRIVER_SHORT 2035
#define IDS_DRIVER_MISSING_STATUS 2036
#define IDS_DRIVER_MISSING_SHORT 2037
#define IDS_RECORD_NEEDS_DRIVER 2038
#define IDS_RECORD_NEEDS_DRIVER_SHORT 2039
#define IDS_DRIVER_MISSING_NAME 2050  // the shortest: the missing driver's name alone
#define IDS_NONE 2040
#define IDS_DEPTH_16 2041
#define IDS_DEPTH_24 2042
#define IDS_DEPTH_FLOAT 2043
#define IDS_MONO 2044
#define IDS_STEREO 2045
#define IDS_FILTER_WAV 2046
#define IDS_FILTER_EXPORT 2047
// After the label of an instrument's single output, for its two sides in the routing dialog.
#define IDS_LEFT_SIDE 2048
#define IDS_RIGHT_SIDE 2049

// The message after a fault nobody handled (%1: the fault, or the recording's file).
#define IDS_FAULT_PLUGIN 2300
#define IDS_FAULT_HOST 2301
#define IDS_FAULT_SAVED 2302
#define IDS_FAULT_NOT_SAVED 2303
// Between the fault code and the address in the plugin, or the address elsewhere.
#define IDS_FAULT_AT_PLUGIN 2304
#define IDS_FAULT_AT_ADDRESS 2305

// The export running beside its dialog: the progress line, the Cancel button's label,
// the question when closing, the end message of a cancelled export, and the status
// line's answer to a command refused meanwhile.
#define IDS_EXPORT_TAKE_OF 2320
#define IDS_EXPORT_CHORD_KEYS 2321
#define IDS_EXPORT_TIME_LEFT 2322
#define IDS_EXPORT_CANCEL 2323
#define IDS_EXPORT_CANCEL_QUESTION 2324
#define IDS_EXPORT_CANCELLED_FILES 2325
#define IDS_EXPORT_CANCELLED_NONE 2326
#define IDS_EXPORT_REFUSED 2327
// A take of a layered export in the progress line: what it plays and its velocity.
#define IDS_EXPORT_AT_VELOCITY 2340
// The notes under an export's result, in this order (see exportNotesText).
#define IDS_EXPORT_NOTE_UNLOOPED 2350
#define IDS_EXPORT_NOTE_UNLOOPED_ONE 2351
#define IDS_EXPORT_NOTE_UNPITCHED 2352
#define IDS_EXPORT_NOTE_UNPITCHED_ONE 2353
#define IDS_EXPORT_NOTE_CLIPPED 2354
#define IDS_EXPORT_NOTE_CLIPPED_ONE 2355
#define IDS_EXPORT_NOTE_NORMALISED 2356
#define IDS_EXPORT_NOTE_NO_VARIATION 2357
#define IDS_EXPORT_NOTE_REPEATS 2358
#define IDS_EXPORT_NOTE_REPEATS_ONE 2359
#define IDS_EXPORT_NOTE_FIRST_VARIATION 2360
#define IDS_EXPORT_NOTE_SEPARATOR 2361
#define IDS_EXPORT_NOTE_INSTANCES 2500
#define IDS_EXPORT_NOTE_INSTANCES_DIFFER 2501
#define IDS_EXPORT_NOTE_INSTANCES_NOT_OPENED 2502
#define IDS_EXPORT_NOTE_INSTANCES_STATE_REFUSED 2503
#define IDS_EXPORT_INSTANCES_AUTOMATIC 2504

// The instrument's sound: the failed action (with the file on the next line), then
// the reason; the file dialogs' filters.
#define IDS_SOUND_LOAD_FAILED 2400
#define IDS_SOUND_SAVE_FAILED 2401
#define IDS_LAST_SOUND_FAILED 2402
#define IDS_LAST_SOUND_NOT_KEPT 2403
#define IDS_DEFAULT_SOUND_FAILED 2404
#define IDS_FILTER_SOUND_SAVE 2405
#define IDS_FILTER_SOUND_LOAD 2406
#define IDS_STATE_NOTHING 2410
#define IDS_STATE_NO_CHUNK 2411
#define IDS_STATE_NO_MEMORY 2412
#define IDS_STATE_TOO_LARGE 2413
#define IDS_STATE_NOT_PRESET 2414
#define IDS_STATE_TRUNCATED 2415
#define IDS_STATE_SHORT 2416
#define IDS_STATE_OTHER_INSTRUMENT 2417
#define IDS_STATE_OTHER_LAYOUT 2418
#define IDS_STATE_CHUNK_FORM 2419
#define IDS_STATE_REFUSED 2420
#define IDS_STATE_CANNOT_OPEN 2421
#define IDS_STATE_CANNOT_READ 2422
#define IDS_STATE_CANNOT_WRITE 2423
// The export's notes on a chord's takes (each plural form, then its form for one).
#define IDS_EXPORT_NOTE_CHORD_UNLOOPED 2560
#define IDS_EXPORT_NOTE_CHORD_UNLOOPED_ONE 2561
#define IDS_EXPORT_NOTE_CHORD_NO_PERIOD 2562
#define IDS_EXPORT_NOTE_CHORD_NO_PERIOD_ONE 2563

// An export's end: the forms for a total of one file, a set left without its index
// file, and under each file named the reason when the system gave none (by
// ExportFailureKind).
#define IDS_EXPORT_NOT_WRITTEN_ONE 2520
#define IDS_EXPORT_CANCELLED_FILES_ONE 2521
#define IDS_EXPORT_REASON_SET 2522
#define IDS_EXPORT_WHY_CREATE 2523
#define IDS_EXPORT_WHY_NAME 2524
#define IDS_EXPORT_WHY_WRITE 2525
#define IDS_EXPORT_WHY_SIZE 2526
#define IDS_EXPORT_WHY_SET 2527
// A name for the export's files refused before anything renders, and a folder that
// could not be made (the system's reason follows).
#define IDS_EXPORT_NAME_BLANK 2528
#define IDS_EXPORT_NAME_CHARACTER 2529
#define IDS_EXPORT_NAME_RESERVED 2530
#define IDS_EXPORT_FOLDER_FAILED 2531
// The result's count for a total of one file ("1 of 1 file written").
#define IDS_EXPORT_RESULT_ONE 2532
// The main window's status line after the export dialog was closed during an export:
// what was kept and where.
#define IDS_EXPORT_CLOSED_KEPT 2533
#define IDS_EXPORT_CLOSED_KEPT_ONE 2534
#define IDS_EXPORT_CLOSED_NONE 2535
#define IDS_EXPORT_CLOSED_DONE 2536
#define IDS_EXPORT_CLOSED_DONE_ONE 2537
// What a recovered recording's file is called, before the time it was recorded.
#define IDS_RECOVERED_NAME 2538
// "Chord of 1 key" in the progress line.
#define IDS_EXPORT_CHORD_KEYS_ONE 2539
