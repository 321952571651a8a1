-- The clock database Clock103.mdb: six tables. Text keys compare without
-- case, as the program always found its rows that way.

CREATE TABLE IF NOT EXISTS "Registry" (
  "RegKey"   TEXT COLLATE NOCASE,
  "RegField" TEXT COLLATE NOCASE,
  "RegValue" TEXT,
  UNIQUE ("RegKey", "RegField")
);

CREATE TABLE IF NOT EXISTS "Clocks" (
  "Clock Identifier"   TEXT COLLATE NOCASE NOT NULL UNIQUE
                       CHECK (trim("Clock Identifier") <> ''),
  "Term Address"       INTEGER DEFAULT 1,
  "Controller Address" INTEGER DEFAULT 1,
  "Port"               INTEGER DEFAULT 2,
  "Baud Rate"          INTEGER DEFAULT 9600,
  "Parity"             TEXT DEFAULT 'o',
  "Data Bits"          INTEGER DEFAULT 7,
  "Stop Bits"          INTEGER DEFAULT 2,
  "PhoneNo"            TEXT DEFAULT ''
);

CREATE TABLE IF NOT EXISTS "TcpClocks" (
  "ScreenID"    INTEGER NOT NULL UNIQUE,
  "Description" TEXT,
  "octet1"      INTEGER,
  "octet2"      INTEGER,
  "octet3"      INTEGER,
  "octet4"      INTEGER,
  "poll"        INTEGER DEFAULT 0
);

CREATE TABLE IF NOT EXISTS "ClkMsg" (
  "PromptName" TEXT,
  "PromptNo"   TEXT COLLATE NOCASE UNIQUE,
  "Prompt"     TEXT
);

CREATE TABLE IF NOT EXISTS "Function Keys Mappings" (
  "AppFuncKey"      TEXT COLLATE NOCASE UNIQUE,
  "Function Prompt" TEXT
);

CREATE TABLE IF NOT EXISTS "Function Keys" (
  "AppFuncKey"        TEXT COLLATE NOCASE,
  "PromptNo"          TEXT,
  "Prompt"            TEXT,
  "Field Length"      TEXT,
  "Decimal Point"     TEXT,
  "Application Field" TEXT COLLATE NOCASE,
  UNIQUE ("AppFuncKey", "Application Field")
);
