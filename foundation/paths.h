#pragma once
// Folders and file names of the program. Relative paths resolve against the working folder,
// which is the program's own folder (it must hold "docs"). The relative ones are fixed objects
// built before the entry; the data folder is built on first use, because finding it may log
// and the log does not exist during static construction.
#include "foundation/log.h"

#include <filesystem>
#include <string>

namespace qtr {

// The per-user data folder: <roaming application data>/Quillmarsh, or the relative "Quillmarsh"
// when the roaming folder cannot be found (logged once, at the first use).
const std::filesystem::path& dataFolder();
// <data folder>/parameters.xml, the only place of the settings file.
const std::filesystem::path& parametersXmlPath();

// Below the program folder.
inline const std::filesystem::path docsFolder{"docs"};
inline const std::filesystem::path airportsFolder{"airports"};
inline const std::filesystem::path myVendrakeFolder = airportsFolder / "my_vendrake";
inline const std::filesystem::path myThirdpartyFolder = airportsFolder / "my_thirdparty";
inline const std::filesystem::path myParkAirportsPath = airportsFolder / "my_park_airports.txt";
inline const std::filesystem::path learnedFolder = airportsFolder / "learned";
inline const std::filesystem::path learnedStockFolder = learnedFolder / "stock";
inline const std::filesystem::path learnedVendrakeFolder = learnedFolder / "vendrake";
inline const std::filesystem::path learnedThirdpartyFolder = learnedFolder / "thirdparty";
// The airports data base lies in "input" (where its reader and the data package put it).
inline const std::filesystem::path airportsMsfsXmlPath = std::filesystem::path("input") / "airports_msfs.xml";
inline const std::filesystem::path inputFolder{"input"};
inline const std::filesystem::path myRegcodesFolder = inputFolder / "my_regcodes";
inline const std::filesystem::path outputFolder{"output"};
inline const std::filesystem::path liveriesScannedPath = outputFolder / "LiveriesScanned.xml";
inline const std::filesystem::path infoFolder = outputFolder / "info";
inline const std::filesystem::path airportsScanLogPath = infoFolder / "AirportsScanLog.txt";
inline const std::filesystem::path aircraftCfgWithNoFltsimSectionPath =
    infoFolder / "AircraftCfgWithNoFltsimSection.txt";
inline const std::filesystem::path airlineModelConversionsPath = infoFolder / "AirlineModelConversions.txt";
inline const std::filesystem::path liveriesSkippedOnPriorityPath = infoFolder / "LiveriesSkippedOnPriority.txt";
inline const std::filesystem::path errorsFolder = outputFolder / "errors";
inline const std::filesystem::path inlineRegcodesPath = errorsFolder / "InlineRegcodes.txt";
inline const std::filesystem::path invalidAirlineCodesPath = errorsFolder / "InvalidAirlineCodes.txt";
inline const std::filesystem::path invalidAircraftCodesPath = errorsFolder / "InvalidAircraftCodes.txt";
inline const std::filesystem::path fixesPath = errorsFolder / "Fixes.txt";
inline const std::filesystem::path invalidAircraftCfgFilesPath = errorsFolder / "InvalidAircraftCfgFiles.txt";
// The stored name keeps its historic spelling: users and tools know the file by it.
inline const std::filesystem::path incompleteFltsimSectionsPath = errorsFolder / "IncompleFltsimSections.txt";
inline const std::filesystem::path tbloFolder{"TBLO"};
inline const std::filesystem::path callsign2ObjectIdPath{"Callsign2ObjectId.txt"};
inline const std::filesystem::path versionJsonName{"version.json"};
inline const std::filesystem::path installNewVersionPath{"install_new_version.exe"};
inline const std::filesystem::path logFilePath{logFileName};

// Names joined at run time to folders of the simulator's installation and the user's folders.
inline const std::filesystem::path communityFolderName{"Community"};
inline const std::filesystem::path officialFolderName{"Official"};
inline const std::filesystem::path official2024FolderName{"Official2024"};
inline const std::filesystem::path fsBaseFolderName{"fs-base"};
inline const std::filesystem::path insideSystemsFolderName{"InsideSystems"};

// Texts shared across the program.
inline const std::string emptyText;
inline const std::string pluralEnding{"s"};
inline const std::string commaText{","};
inline const std::string hashText{"#"};
inline const std::string nameAttribute{"name"};
inline const std::string valueAttribute{"value"};
inline const std::string blankText{" "};
inline const std::string questionMarkText{"?"};
inline const std::string backslashText{"\\"};
inline const std::string unknownCodeText{"ZZZ"};
inline const std::string lineBreak{"\n"};
inline const std::string backupInfix{"0"};

} // namespace qtr
