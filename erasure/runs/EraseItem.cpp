#include "EraseItem.h"

#include <cerrno>

int32_t EraseItemResultFromErrno(int err) {
  switch (err) {
    case 0:
      return ERASE_ITEM_GENERAL_FAILURE;
    case ENOENT:
    case ENOTDIR:
      return ERASE_ITEM_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case EXDEV:
      return ERASE_ITEM_ACCESS_DENIED;
    case EBUSY:
    case ETXTBSY:
      return ERASE_ITEM_SHARING_VIOLATION;
    case ENOSPC:
    case EDQUOT:
      return ERASE_ITEM_DISK_FULL;
    case ENAMETOOLONG:
      return ERASE_ITEM_NAME_TOO_LONG;
    case EIO:
    case ENODATA:
    case EILSEQ:
    case EBADMSG:
      return ERASE_ITEM_IO_ERROR;
    case ENXIO:
    case ENODEV:
    case EOPNOTSUPP:
      return ERASE_ITEM_NOT_SUPPORTED;
    default:
      return ERASE_ITEM_GENERAL_FAILURE;
  }
}
