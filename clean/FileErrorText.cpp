#include "clean/FileErrorText.h"

std::string FileErrorText(const platform::FileResult& result)
{
    switch (result.error) {
    case platform::FileError::Held:
        return "файл занят другим процессом";
    case platform::FileError::NotFound:
        return "файл или папка не найдены";
    case platform::FileError::AccessDenied:
        return "нет доступа";
    case platform::FileError::DiskFull:
        return "недостаточно места на диске";
    case platform::FileError::TargetExists:
        return "файл с таким именем уже существует";
    case platform::FileError::NotAFile:
        return "по этому пути находится папка или другой объект, а не файл";
    case platform::FileError::NameTooLong:
        return "путь или имя файла слишком длинные";
    case platform::FileError::ReadOnly:
        return "у файла установлен атрибут «только чтение»";
    case platform::FileError::NotInCodePage:
        return "в пути есть буквы, которых нет в кодовой странице системы";
    case platform::FileError::Stopped:
        return "остановлено оператором";
    case platform::FileError::None:
    case platform::FileError::Other:
        break;
    }
    return "ошибка системы, код " + std::to_string(result.systemCode);
}
