#include "setup/setting_controls.h"

#include "resources/control_ids.h"

const SettingControl setting_controls[12] = {
    {"is_upload", IDC_UPLOAD},
    {"host", IDC_HOST},
    {"id", IDC_USER_ID},
    {"password", IDC_PASSWORD},
    {"ghostroot", IDC_GHOST_ROOT},
    {"timediff", IDC_TIME_DIFF},
    {"is_passive", IDC_PASSIVE},
    {"is_create_archive", IDC_CREATE_ARCHIVE},
    {"archive_filename", IDC_ARCHIVE_FILENAME},
    {"archive_local_folder", IDC_ARCHIVE_FOLDER},
    {"allow_files", IDC_ALLOW_FILES},
    {"deny_files", IDC_DENY_FILES},
};
