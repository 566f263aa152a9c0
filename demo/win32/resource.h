/* SPDX-License-Identifier: Apache-2.0 */
/* Resource and control ids of orvapanel.exe, shared by orvapanel.rc and the
   C++ sources (plain C preprocessor only: rc.exe and windres read it too). */
#ifndef ORVAPANEL_RESOURCE_H
#define ORVAPANEL_RESOURCE_H

#ifndef IDC_STATIC
#  define IDC_STATIC (-1) /* labels and pictures that no code looks up */
#endif

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ORVAPANEL_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_IPADDRESS 1000
#define IDC_OPEN 1001
#define IDC_CLOSE 1002
#define IDC_READBYTES 1003
#define IDC_READWORDS 1004
#define IDC_STATUS 1005
#define IDC_AREA 1006
#define IDC_DBNUMBER 1007
#define IDC_START 1008
#define IDC_COUNT 1009
#define IDC_LIST 1010
#define IDC_OWNTSAP 1011
#define IDC_LOGO 1012
#define IDC_PLCTSAP 1013

/* The about entry of the system menu; a system command's low four bits are
   the system's, so it is recognised with the mask. */
#define IDM_ABOUTBOX 0x0010
#define SYSTEM_COMMAND_MASK 0xFFF0

/* The resource type of a dialog's initial control data (the area list). */
#define RT_DIALOG_INIT 240
/* The one message such data carries here: add a string to a combo box, by
   its number in the data format. */
#define DIALOG_INIT_CB_ADDSTRING 0x0403

#endif
