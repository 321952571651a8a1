-- The rows a new clock database ships with.
INSERT INTO "Function Keys Mappings" ("AppFuncKey", "Function Prompt") VALUES
  ('F1', 'WO/P/J'),
  ('F2', 'PRT/JB'),
  ('F3', 'JOB   '),
  ('F4', 'WO/JOB');

INSERT INTO "Function Keys" ("AppFuncKey", "PromptNo", "Prompt", "Field Length", "Decimal Point", "Application Field") VALUES
  ('F1', '030', 'Enter Work Order#', ':', '0', 'WorkOrderNo'),
  ('F1', '031', 'Enter Part#',       ':', '0', 'PartNo'),
  ('F1', '032', 'Enter Job Code',    '6', '0', 'JobCode'),
  ('F2', '033', 'Enter Part#',       ':', '0', 'PartNo'),
  ('F2', '034', 'Enter Job Code',    '6', '0', 'JobCode'),
  ('F3', '035', 'Enter Job Code',    '6', '0', 'JobCode'),
  ('F4', '036', 'Enter Work Order#', ':', '0', 'WorkOrderNo'),
  ('F4', '037', 'Enter Job Code',    '6', '0', 'JobCode');
