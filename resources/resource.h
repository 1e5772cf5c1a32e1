// Resource ids of lumaspire.scr. The ids and texts are fixed by the product: never renumber.
#pragma once

// String table
#define IDS_DESCRIPTION        1      // the name the system's screen-saver list shows
#define IDS_UPGRADE_PROMPT     10002
#define IDS_CANCEL_DOWNLOAD    10003
#define IDS_DOWNLOAD_FAILED    10004
#define IDS_NO_CLIP            10005
#define IDS_CLIP_MISSING       10006
#define IDS_CLIP_UNPLAYABLE    10007
#define IDS_TIME_ORDER         10008
#define IDS_HOMEPAGE           10015
// Ours, beyond the product's own: the clip's video format has no decoder here.
#define IDS_DECODER_MISSING    10100
#define IDS_DECODER_FROM_STORE 10101
#define IDS_DECODER_NONE_HERE  10102

// Icon and bitmap
#define IDI_MAIN               100
#define IDB_ABOUT              100

// Configuration dialog
#define IDD_SETTINGS           2003
#define IDC_CLIP_PATH          1001
#define IDC_BROWSE             1002
#define IDC_VIEW_ORIGINAL      1003
#define IDC_VIEW_FULLSCREEN    1004
#define IDC_VIEW_16_9          1005
#define IDC_VIEW_CUSTOM        1006
#define IDC_VIEW_WIDTH         1007
#define IDC_VIEW_HEIGHT        1008
#define IDC_START_TIME         1009
#define IDC_START_HOUR         1010
#define IDC_START_MINUTE       1011
#define IDC_START_SECOND       1012
#define IDC_START_MILLISECOND  1013
#define IDC_END_TIME           1014
#define IDC_END_HOUR           1015
#define IDC_END_MINUTE         1016
#define IDC_END_SECOND         1017
#define IDC_END_MILLISECOND    1018
#define IDC_LOOP               1019
#define IDC_MUTE               1020
#define IDC_AUTO_UPDATE        1021
#define IDC_HOMEPAGE           1022
#define IDC_ABOUT              1023
#define IDC_CHOOSE_FOLDER      1024
#define IDC_SHUFFLE            1025
#define IDC_RESUME             1026

// Download progress dialog
#define IDD_DOWNLOAD           101
#define IDC_DOWNLOAD_PROGRESS  1101
