-- olb-dpa-gen --clients 40 --policies 20 --jobs 2000 --libraries 2 --pools 2 --drives-per-library 3 --volumes-per-pool=2 --unmapped-percent 0
set colsep , 
set trimspool on 
set heading off 
set echo off 
set linesize 32767 
-- Nodes by type: the server (212), the clients (515) and the policies (516);
-- a group_config row a policy; the jobs, each with its own id, none ending
-- before it starts; the drives and libraries; the volumes and pools.
select f_type, count(*) from nodes group by f_type order by f_type;
select count(*) from group_config;
select count(*), count(DISTINCT f_jobid) from backupjob;
select count(*) from backupjob where f_endtime < f_starttime;
select count(*), count(DISTINCT f_jukebox_name) from device_config;
select count(*), count(DISTINCT f_pool_name) from disk_volume_config;
-- Every job's client and group exist, and it ran on a library or a pool.
select count(*) from backupjob b
  JOIN nodes c ON c.f_name = b.f_client_name AND c.f_type = 515
  JOIN nodes g ON g.f_name = b.f_group_name AND g.f_type = 516
  JOIN group_config gc ON gc.f_group_name = b.f_group_name
 WHERE b.f_storage_unit IN (SELECT f_pool_name FROM disk_volume_config)
    OR b.f_storage_unit IN (SELECT 'stu-' || f_jukebox_name FROM device_config);
exit
