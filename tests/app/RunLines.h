#pragma once

#include <string>
#include <vector>

// The lines of a run that cleaned and compacted, as the program writes them
// one per line.
inline const std::vector<std::string> SuccessfulRunLines = {
    "Сохранение оригинального файла БД (*.fdb -> *.bak)...",
    "...Ok",
    "Удаление данных до выбранной даты...",
    "...Ok",
    "Создание бэкапа файла БД (*.fdb -> *.fdk)...",
    "...Ok",
    "Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...",
    "...Ok",
    "",
    "Done!",
};
