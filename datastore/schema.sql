-- The DPA 5.8 datastore as far as the plug-in reads it: the configuration
-- nodes (schema config) and the backup history with the group, device and
-- disk volume configuration (schema datamine). All tables live in one file;
-- the sqlplus stand-in attaches it again as config and datamine. Column types
-- follow the Oracle ones: NUMBER as INTEGER or NUMERIC, VARCHAR2 as TEXT.

-- Who may log in to the datastore.
CREATE TABLE login (
  f_user     TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  f_password TEXT NOT NULL
);
INSERT INTO login (f_user, f_password) VALUES ('dpa', 'dpa-demo-58');

-- Oracle's one-row table, for queries such as "select sysdate from dual".
CREATE TABLE dual (dummy TEXT);
INSERT INTO dual (dummy) VALUES ('X');

-- config.nodes: every object DPA monitors. f_type 212 is the datastore
-- server, 515 a backup client, 516 a backup group (policy).
CREATE TABLE nodes (
  f_id           INTEGER PRIMARY KEY,
  f_name         TEXT NOT NULL,
  f_globalname   TEXT,
  f_display_name TEXT,
  f_type         INTEGER NOT NULL,
  f_created      INTEGER
);
CREATE INDEX nodes_name ON nodes (f_name);
CREATE INDEX nodes_type ON nodes (f_type);

-- datamine.backupjob: one row per backup job run. Times are seconds since
-- 1970; f_sizetransferred is in megabytes.
CREATE TABLE backupjob (
  f_id              INTEGER PRIMARY KEY,
  f_jobid           TEXT,
  f_group_name      TEXT,
  f_client_name     TEXT,
  f_media_server    TEXT,
  f_storage_unit    TEXT,
  f_status          TEXT,
  f_level           TEXT,
  f_nfiles          INTEGER,
  f_sizetransferred NUMERIC,
  f_starttime       INTEGER,
  f_endtime         INTEGER,
  f_errorcode       INTEGER
);
-- The group query joins on the group and reads client and media server.
CREATE INDEX backupjob_group ON backupjob (f_group_name, f_client_name, f_media_server);

-- datamine.group_config: the configuration of each backup group.
CREATE TABLE group_config (
  f_id           INTEGER PRIMARY KEY,
  f_group_name   TEXT NOT NULL,
  f_policy_type  TEXT,
  f_storage_unit TEXT,
  f_active       INTEGER
);
CREATE INDEX group_config_name ON group_config (f_group_name);

-- datamine.device_config: tape and disk devices with the library (jukebox)
-- that holds them; disk devices have the firmware 'Magnetic'.
CREATE TABLE device_config (
  f_id           INTEGER PRIMARY KEY,
  f_device_host  TEXT,
  f_jukebox_name TEXT,
  f_device_name  TEXT,
  f_device_path  TEXT,
  f_device_type  TEXT,
  f_device_class TEXT,
  f_firmware     TEXT
);

-- datamine.disk_volume_config: the volumes of each disk pool.
CREATE TABLE disk_volume_config (
  f_id        INTEGER PRIMARY KEY,
  f_pool_name TEXT NOT NULL,
  f_path      TEXT,
  f_disk_type TEXT,
  f_volume_id TEXT,
  f_capacity  INTEGER,
  f_used      INTEGER
);
