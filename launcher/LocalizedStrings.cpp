// STAND-IN until the localised tables land: the English texts only.
#include "LocalizedStrings.h"

vxn::wstring LoadLocalizedString(vxn::u32 id)
{
    switch (id) {
    case IDS_NO_PERMISSION:
        return VXN_W("You don't have the necessary permissions to update. Please restart the patcher with "
                     "administrator privileges (error #6001).");
    case IDS_DOWNLOAD_FAILED:
        return VXN_W("Download failed");
    case IDS_CANCEL_DOWNLOAD:
        return VXN_W("Cancel download?");
    case IDS_LAUNCH_FAILED:
        return VXN_W("Downloaded file failed to execute (error #6003)");
    case IDS_UPDATE_FAILED:
        return VXN_W("Update failed");
    case IDS_SIGNATURE_UNVERIFIED:
        return VXN_W("The digital signature of the update could not be verified (error #6005:%d). It is not "
                     "recommended to install this update, especially if you are on an untrusted network. Would "
                     "you still like to proceed with installation?");
    default:
        return vxn::wstring();
    }
}
