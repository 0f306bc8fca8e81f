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

// The message after a fault nobody handled (%1: the fault, or the recording's file).
#define IDS_FAULT_PLUGIN 2300
#define IDS_FAULT_HOST 2301
#define IDS_FAULT_SAVED 2302
#define IDS_FAULT_NOT_SAVED 2303
