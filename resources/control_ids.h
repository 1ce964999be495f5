// Item IDs of the setup dialog, shared by the resource script, the program
// and the tests. Plain macros so that windres can read them.
#pragma once

#define IDD_SETUP 101
// The program's icon: the lowest ID, so Explorer shows it for the exe.
#define IDI_PROGRAM 1

#define IDC_HOST 1000
#define IDC_USER_ID 1001
#define IDC_PASSWORD 1002
#define IDC_GHOST_ROOT 1003
#define IDC_TIME_DIFF 1004
#define IDC_ALLOW_FILES 1006
#define IDC_DENY_FILES 1007
#define IDC_ARCHIVE_FILENAME 1012
#define IDC_ARCHIVE_FOLDER 1015
#define IDC_ARCHIVE_HELP 1019
#define IDC_CREATE_ARCHIVE 1020
#define IDC_FILES_HELP 1021
#define IDC_ABOUT 1022
#define IDC_UPLOAD_HELP 1023
#define IDC_UPLOAD 1024
#define IDC_DOG 1025
#define IDC_PASSIVE 1028

#define IDC_NONE (-1)
