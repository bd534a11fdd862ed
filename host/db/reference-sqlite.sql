-- The reference host database, for SQLite through wincompat's ADO provider.
--
-- It stands in for the host's SQL Server database: the tables that the
-- data-channel and policy plug-ins read and write, and the two stored
-- procedures they call. Column types are written with SQL Server's names so
-- that ADO hands values back typed as SQL Server would (int as VT_I4, bit as
-- VT_BOOL, datetime as VT_DATE, uniqueidentifier as a braced GUID text,
-- binary as a byte array). Identities are INTEGER PRIMARY KEY AUTOINCREMENT.
-- Times are stored as "YYYY-MM-DD HH:MM:SS.mmm" (UTC), GUIDs as braced
-- upper-case text, addresses as 16-byte blobs (IPv4 in IPv4-mapped form).
--
-- Applying the script again is harmless: tables and indexes are created only
-- when missing, and the procedure definitions are replaced by these.
--
-- Stored procedures live in the StoredProcedures table (name, parameter list
-- in calling order, body of SQLite statements that name the parameters as
-- @Name); the ADO provider binds a call's parameters by position and fills
-- its output parameters from the same-named columns of the body's last row.
--
-- ZELKSP_UpdateDetectedSystems: records one detection.
--   Matching a detection to a known system, among the rows of the same
--   DetectionType, the first rule that the detection can use decides:
--     1. it has a MAC address (not NULL, not empty): the row with that MAC,
--        compared without regard to case;
--     2. else it has an agent identity: the row with that AgentGUID, compared
--        without regard to case;
--     3. else it has an address: the row with that IPV6 address (16 bytes);
--     4. else nothing matches.
--   When several rows match, the oldest (lowest HostID) is taken. A non-zero
--   @MatchingOverride skips matching: the detection always makes a new row.
--   A matched row is updated: every value the detection carries (NULL never
--   erases what is known); the detection time, source sensor and source type
--   only when the detection is not older than the one recorded, since uploads
--   from several sensors can arrive out of order. NewDetection, RecordedTime,
--   Exception and Ignored are the host's and stay as they are. No match: a new
--   row is inserted with DetectionType from @DetectionType, NewDetection 1,
--   Exception 0, Ignored 0 and RecordedTime now (when it was first recorded).
--   Returns the row's HostID in @OutputHostID and in @OutputNewDetection 1
--   when the call inserted the row, 0 when it updated one.
--
-- ZELKSP_UpdateInterfaces: records one interface of a detected system: one
--   row per host id, MAC and address (a NULL MAC and an empty MAC are the
--   same, so are a NULL and an absent address). A known row gets the new
--   mask and subnet, and the time and source when the detection is not older
--   than the one recorded; an unknown one is inserted with its first and last
--   detection time. A call with
--   neither MAC nor address records nothing. The host id must exist in
--   ZELKDetectedSystemProperties.

PRAGMA foreign_keys = ON;

CREATE TABLE IF NOT EXISTS ZELKSubnetProperties (
    SubnetID INTEGER PRIMARY KEY AUTOINCREMENT,
    SubnetName nvarchar(255),
    IPV4 int,
    IPV4Mask int,
    IPV6 binary(16),
    IPV6Mask binary(16),
    IPV6Start binary(16),
    IPV6End binary(16),
    Ignored bit NOT NULL DEFAULT 0,
    PrevCoveredState bit,
    BitBucket bit NOT NULL DEFAULT 0
);
-- One subnet per address and mask.
CREATE UNIQUE INDEX IF NOT EXISTS ZELKSubnetProperties_Address ON ZELKSubnetProperties (IPV6, IPV6Mask);

CREATE TABLE IF NOT EXISTS ZELKSensorProperties (
    SensorID INTEGER PRIMARY KEY AUTOINCREMENT,
    SensorName nvarchar(255),
    LastCommunicationTime datetime,
    AgentGUID uniqueidentifier COLLATE NOCASE,
    SensorType int,
    ElectionType int,
    DHCP bit,
    SensorVersion nvarchar(50),
    Started bit,
    Description nvarchar(1024),
    Installed bit,
    ComputerName nvarchar(255),
    FirstCommunicationTime datetime,
    FirstRecordedTime datetime,
    LastRecordedTime datetime,
    LastStartedTime datetime,
    LastStoppedTime datetime
);
-- One sensor per agent identity, GUIDs compared without regard to case.
CREATE UNIQUE INDEX IF NOT EXISTS ZELKSensorProperties_Agent ON ZELKSensorProperties (AgentGUID COLLATE NOCASE);

CREATE TABLE IF NOT EXISTS ZELKSensorToSubnet (
    SensorID int NOT NULL REFERENCES ZELKSensorProperties (SensorID) ON DELETE CASCADE,
    SubnetID int NOT NULL REFERENCES ZELKSubnetProperties (SubnetID) ON DELETE CASCADE,
    PRIMARY KEY (SensorID, SubnetID)
);
CREATE INDEX IF NOT EXISTS ZELKSensorToSubnet_Subnet ON ZELKSensorToSubnet (SubnetID);

CREATE TABLE IF NOT EXISTS ZELKDetectedSystemProperties (
    HostID INTEGER PRIMARY KEY AUTOINCREMENT,
    DnsName nvarchar(255),
    OSPlatform nvarchar(100),
    OSFamily nvarchar(100),
    OSVersion nvarchar(100),
    Domain nvarchar(255),
    NetbiosName nvarchar(100),
    NetbiosComment nvarchar(255),
    Users nvarchar(1024),
    AgentGUID uniqueidentifier COLLATE NOCASE,
    FriendlyName nvarchar(255),
    Ignored bit NOT NULL DEFAULT 0,
    Comments nvarchar(1024),
    IPV4 int,
    IPV6 varbinary(16),
    MAC nvarchar(50) COLLATE NOCASE,
    LastDetectedTime datetime,
    DetectedSourceType nvarchar(50),
    Exception bit NOT NULL DEFAULT 0,
    RogueAction int,
    RecordedTime datetime,
    NewDetection bit NOT NULL DEFAULT 0,
    ExceptionCategoryID int,
    DeviceType nvarchar(50),
    BulkInsertID uniqueidentifier,
    DetectionType nvarchar(50) NOT NULL DEFAULT 'detectedSystem',
    SourceSensorID int,
    ExternalID nvarchar(255)
);
CREATE INDEX IF NOT EXISTS ZELKDetectedSystemProperties_MAC ON ZELKDetectedSystemProperties (MAC COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS ZELKDetectedSystemProperties_Agent
    ON ZELKDetectedSystemProperties (AgentGUID COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS ZELKDetectedSystemProperties_Address ON ZELKDetectedSystemProperties (IPV6);
-- The policy query: exceptions of one detection type.
CREATE INDEX IF NOT EXISTS ZELKDetectedSystemProperties_Exception
    ON ZELKDetectedSystemProperties (Exception, DetectionType);

CREATE TABLE IF NOT EXISTS ZELKDetectedInterfaces (
    InterfaceID INTEGER PRIMARY KEY AUTOINCREMENT,
    HostID int NOT NULL REFERENCES ZELKDetectedSystemProperties (HostID) ON DELETE CASCADE,
    MAC nvarchar(50) COLLATE NOCASE,
    IPV4 int,
    IPV4Mask int,
    IPV4Subnet int,
    IPV6 binary(16),
    IPV6Mask binary(16),
    IPV6Subnet binary(16),
    FirstDetectedTime datetime,
    LastDetectedTime datetime,
    SourceSensorID int,
    SourceType nvarchar(50),
    ExternalID nvarchar(255)
);
-- One interface row per host, MAC and address.
CREATE UNIQUE INDEX IF NOT EXISTS ZELKDetectedInterfaces_Identity
    ON ZELKDetectedInterfaces (HostID, IFNULL(MAC, '') COLLATE NOCASE, IFNULL(IPV6, X''));

CREATE TABLE IF NOT EXISTS ZELKOndrixEvents (
    AutoID INTEGER PRIMARY KEY AUTOINCREMENT,
    EventID nvarchar(255),
    DetectedSystemId int REFERENCES ZELKDetectedSystemProperties (HostID) ON DELETE CASCADE,
    Data varbinary(8000),
    EventAddedUtc datetime
);
CREATE INDEX IF NOT EXISTS ZELKOndrixEvents_System ON ZELKOndrixEvents (DetectedSystemId);

CREATE TABLE IF NOT EXISTS ZELKScanBlacklist (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    MACorOUI nvarchar(50) NOT NULL COLLATE NOCASE UNIQUE
);

CREATE TABLE IF NOT EXISTS StoredProcedures (
    Name TEXT PRIMARY KEY COLLATE NOCASE,
    Parameters TEXT NOT NULL,
    Body TEXT NOT NULL
);

INSERT OR REPLACE INTO StoredProcedures (Name, Parameters, Body) VALUES (
'ZELKSP_UpdateDetectedSystems',
'@DnsName nvarchar(255), @OSPlatform nvarchar(100), @OSFamily nvarchar(100), @OSVersion nvarchar(100),
 @Domain nvarchar(255), @NetbiosName nvarchar(100), @NetbiosComment nvarchar(255), @Users nvarchar(1024),
 @AgentGUID uniqueidentifier, @IPV4 int, @IPV6 varbinary(16), @MAC nvarchar(50), @DetectedTime datetime,
 @DeviceType nvarchar(50), @SourceID int, @SourceType nvarchar(50), @ExternalID nvarchar(255),
 @DetectionType nvarchar(50), @ExternalFriendlyName nvarchar(255), @MatchingOverride int,
 @OutputHostID int OUTPUT, @OutputNewDetection bit OUTPUT',
'UPDATE ZELKDetectedSystemProperties SET
     DnsName = COALESCE(@DnsName, DnsName),
     OSPlatform = COALESCE(@OSPlatform, OSPlatform),
     OSFamily = COALESCE(@OSFamily, OSFamily),
     OSVersion = COALESCE(@OSVersion, OSVersion),
     Domain = COALESCE(@Domain, Domain),
     NetbiosName = COALESCE(@NetbiosName, NetbiosName),
     NetbiosComment = COALESCE(@NetbiosComment, NetbiosComment),
     Users = COALESCE(@Users, Users),
     AgentGUID = COALESCE(@AgentGUID, AgentGUID),
     IPV4 = COALESCE(@IPV4, IPV4),
     IPV6 = COALESCE(@IPV6, IPV6),
     MAC = COALESCE(NULLIF(@MAC, ''''), MAC),
     LastDetectedTime = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @DetectedTime
                             ELSE LastDetectedTime END,
     DeviceType = COALESCE(@DeviceType, DeviceType),
     DetectedSourceType = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @SourceType
                               ELSE DetectedSourceType END,
     SourceSensorID = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @SourceID
                           ELSE SourceSensorID END,
     ExternalID = COALESCE(@ExternalID, ExternalID),
     FriendlyName = COALESCE(@ExternalFriendlyName, FriendlyName)
 WHERE HostID = (
     SELECT MIN(HostID) FROM ZELKDetectedSystemProperties
      WHERE IFNULL(@MatchingOverride, 0) = 0 AND DetectionType = @DetectionType
        AND ((IFNULL(@MAC, '''') <> '''' AND MAC = @MAC)
          OR (IFNULL(@MAC, '''') = '''' AND @AgentGUID IS NOT NULL AND AgentGUID = @AgentGUID)
          OR (IFNULL(@MAC, '''') = '''' AND @AgentGUID IS NULL AND @IPV6 IS NOT NULL AND IPV6 = @IPV6)));
INSERT INTO ZELKDetectedSystemProperties
     (DnsName, OSPlatform, OSFamily, OSVersion, Domain, NetbiosName, NetbiosComment, Users, AgentGUID,
      FriendlyName, IPV4, IPV6, MAC, LastDetectedTime, DetectedSourceType, DeviceType, DetectionType,
      SourceSensorID, ExternalID, RecordedTime, NewDetection, Exception, Ignored)
 SELECT @DnsName, @OSPlatform, @OSFamily, @OSVersion, @Domain, @NetbiosName, @NetbiosComment, @Users, @AgentGUID,
        @ExternalFriendlyName, @IPV4, @IPV6, NULLIF(@MAC, ''''), @DetectedTime, @SourceType, @DeviceType,
        IFNULL(@DetectionType, ''detectedSystem''), @SourceID, @ExternalID,
        strftime(''%Y-%m-%d %H:%M:%f'', ''now''), 1, 0, 0
  WHERE changes() = 0;
SELECT last_insert_rowid() AS OutputHostID, 1 AS OutputNewDetection WHERE changes() > 0;
SELECT HostID AS OutputHostID, 0 AS OutputNewDetection FROM ZELKDetectedSystemProperties
 WHERE changes() = 0 AND IFNULL(@MatchingOverride, 0) = 0 AND DetectionType = @DetectionType
   AND ((IFNULL(@MAC, '''') <> '''' AND MAC = @MAC)
     OR (IFNULL(@MAC, '''') = '''' AND @AgentGUID IS NOT NULL AND AgentGUID = @AgentGUID)
     OR (IFNULL(@MAC, '''') = '''' AND @AgentGUID IS NULL AND @IPV6 IS NOT NULL AND IPV6 = @IPV6))
 ORDER BY HostID LIMIT 1'
);

INSERT OR REPLACE INTO StoredProcedures (Name, Parameters, Body) VALUES (
'ZELKSP_UpdateInterfaces',
'@HostID int, @MAC nvarchar(50), @IPV4 int, @IPV4Mask int, @IPV4Subnet int, @IPV6 binary(16),
 @IPV6Mask binary(16), @IPV6Subnet binary(16), @DetectedTime datetime, @SourceID int, @SourceType nvarchar(50),
 @ExternalID nvarchar(255)',
'UPDATE ZELKDetectedInterfaces SET
     IPV4 = COALESCE(@IPV4, IPV4),
     IPV4Mask = COALESCE(@IPV4Mask, IPV4Mask),
     IPV4Subnet = COALESCE(@IPV4Subnet, IPV4Subnet),
     IPV6Mask = COALESCE(@IPV6Mask, IPV6Mask),
     IPV6Subnet = COALESCE(@IPV6Subnet, IPV6Subnet),
     LastDetectedTime = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @DetectedTime
                             ELSE LastDetectedTime END,
     SourceSensorID = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @SourceID
                           ELSE SourceSensorID END,
     SourceType = CASE WHEN @DetectedTime >= IFNULL(LastDetectedTime, '''') THEN @SourceType ELSE SourceType END,
     ExternalID = COALESCE(@ExternalID, ExternalID)
 WHERE HostID = @HostID AND IFNULL(MAC, '''') = IFNULL(@MAC, '''') COLLATE NOCASE AND IFNULL(IPV6, X'''') = IFNULL(@IPV6, X'''');
INSERT INTO ZELKDetectedInterfaces
     (HostID, MAC, IPV4, IPV4Mask, IPV4Subnet, IPV6, IPV6Mask, IPV6Subnet, FirstDetectedTime, LastDetectedTime,
      SourceSensorID, SourceType, ExternalID)
 SELECT @HostID, NULLIF(@MAC, ''''), @IPV4, @IPV4Mask, @IPV4Subnet, @IPV6, @IPV6Mask, @IPV6Subnet, @DetectedTime,
        @DetectedTime, @SourceID, @SourceType, @ExternalID
  WHERE changes() = 0 AND (IFNULL(@MAC, '''') <> '''' OR @IPV6 IS NOT NULL)'
);
